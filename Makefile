# The commands of the README:
#   make run      builds and runs the intro
#   make test     builds everything and runs every test
#   make windows  cross-builds build-win/werule.exe with MinGW-w64
#   make web      builds the page build-web/werule.html with emscripten
#   make linux    builds the Linux release build-linux/werule, with its
#                 libraries inside
#   make dist     makes the release files in dist/ from the trees above
# Each installs missing Debian packages first (tools/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WIN_BUILD  ?= build-win
DIST       ?= dist
WEB_BUILD  ?= build-web
LINUX_BUILD ?= build-linux
# The Debian source packages that the Windows, web and Linux release trees
# build libraries from, fetched once for all of them.
DOWNLOADS  ?= build-downloads
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja -DWERULE_WERROR=ON

.PHONY: all run test deps configure build bench clean windows sanitizers dist web linux

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DWERULE_ASAN_DIR=$(abspath $(ASAN_BUILD)) \
	    -DWERULE_TSAN_DIR=$(abspath $(TSAN_BUILD)) \
	    -DWERULE_FUZZ_DIR=$(abspath $(FUZZ_BUILD)) \
	    -DWERULE_WIN_DIR=$(abspath $(WIN_BUILD)) \
	    -DWERULE_WEB_DIR=$(abspath $(WEB_BUILD)) \
	    -DWERULE_LINUX_DIR=$(abspath $(LINUX_BUILD)) \
	    -DWERULE_DOWNLOADS=$(abspath $(DOWNLOADS))

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target werule
	$(BUILD)/werule

# The sanitizer and fuzzing trees build only what their tests run.
sanitizers: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DWERULE_SANITIZE=address,undefined -DWERULE_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target werule-sanitized-targets
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DWERULE_SANITIZE=thread -DWERULE_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target werule-sanitized-targets
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERULE_FUZZ=ON -DWERULE_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target werule-fuzz-targets

# The Windows executable, cross-built; the main tree's tests run it under
# Wine.
windows: deps
	cmake -S . -B $(WIN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw-w64-x86_64.cmake) \
	    -DWERULE_DOWNLOADS=$(abspath $(DOWNLOADS))
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The Linux intro of the release: SDL2, FreeType and libopenmpt built from
# Debian's source packages into the tree (the first build: minutes), GLU
# and the C++ library linked in, so it needs nothing the viewer installs.
linux: deps
	cmake -S . -B $(LINUX_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DWERULE_BUNDLE=ON -DWERULE_DOWNLOADS=$(abspath $(DOWNLOADS))
	cmake --build $(LINUX_BUILD) -j $(JOBS) --target werule

# The release files: the Windows zip, the Linux tar.gz, the page, a
# screenshot and their SHA256SUMS, named with tools/dist/version.sh's
# version.
dist: configure windows web linux
	cmake --build $(BUILD) -j $(JOBS) --target werule-capture
	tools/dist/make-dist.sh . $(BUILD) $(WIN_BUILD) $(WEB_BUILD) $(LINUX_BUILD) $(DIST)

# The page, built by emscripten over the browser layer, with libopenmpt
# built for it from Debian's source package (cached in the tree). Its glyph
# triangles come from the Linux layer (werule-webdata of the main tree).
# emcc runs on the system's node, which needs these two settings (Debian's
# node modules; no fetch in the code it runs).
WEB_ENV := NODE_PATH=/usr/share/nodejs NODE_OPTIONS=--no-experimental-fetch
web: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target werule-webdata
	mkdir -p $(WEB_BUILD)
	$(BUILD)/werule-webdata $(WEB_BUILD)/webdata.cpp.new
	cmp -s $(WEB_BUILD)/webdata.cpp.new $(WEB_BUILD)/webdata.cpp || \
	    mv $(WEB_BUILD)/webdata.cpp.new $(WEB_BUILD)/webdata.cpp
	rm -f $(WEB_BUILD)/webdata.cpp.new
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DWERULE_WEB_DATA=$(abspath $(WEB_BUILD))/webdata.cpp \
	    -DWERULE_DOWNLOADS=$(abspath $(DOWNLOADS))
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j $(JOBS) --target werule

test: build sanitizers windows web dist
	ctest --test-dir $(BUILD) --output-on-failure -j 2

bench: build web
	tools/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(WEB_BUILD) \
	    $(LINUX_BUILD) $(DOWNLOADS) $(DIST)
