#!/bin/sh
# Builds libopenmpt from Debian's source package of the version the Linux
# build uses, for a build that cannot take Debian's binary package, and
# installs the static library and its headers under PREFIX:
#   tools/build-libopenmpt.sh windows PREFIX   64-bit Windows (MinGW-w64,
#                                              posix threads)
#   tools/build-libopenmpt.sh web PREFIX       WebAssembly (emscripten)
# PREFIX/lib/libopenmpt.a and PREFIX/include/libopenmpt/ are the result; a
# PREFIX that already holds them is left as it is, so a rebuild of the tree
# does not repeat this. The source package is fetched through a sources list
# of this tree's own (deb-src), with apt's lists and cache there too: the
# system's apt configuration is neither read nor changed. Runs under nice
# with at most two jobs: the build takes minutes.
set -eu

[ $# -eq 2 ] || { echo "usage: $0 windows|web PREFIX" >&2; exit 2; }
TARGET=$1
case $TARGET in
windows | web) ;;
*) echo "$0: unknown target '$TARGET' (windows or web)" >&2; exit 2 ;;
esac
mkdir -p "$2"
PREFIX=$(cd "$2" && pwd)
VERSION=0.6.9
STAMP="$PREFIX/libopenmpt-$VERSION.done"

if [ -f "$STAMP" ] && [ -f "$PREFIX/lib/libopenmpt.a" ] &&
    [ -f "$PREFIX/include/libopenmpt/libopenmpt.h" ]; then
    exit 0
fi

WORK="$PREFIX/work"
APT="$WORK/apt"
rm -rf "$WORK"
mkdir -p "$APT/sources.list.d" "$APT/lists/partial" "$APT/cache/archives/partial" \
    "$WORK/src" "$WORK/build"
: >"$APT/sources.list"
cat >"$APT/sources.list.d/debian-src.sources" <<EOT
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOT

start=$(date +%s)
# apt's download helper drops to the _apt user, which cannot write here.
set -- -o Dir::Etc::SourceList="$APT/sources.list" \
    -o Dir::Etc::SourceParts="$APT/sources.list.d" \
    -o Dir::State::Lists="$APT/lists" \
    -o Dir::Cache="$APT/cache" \
    -o APT::Sandbox::User="$(id -un)" \
    -o Debug::NoLocking=1
apt-get "$@" -q update >"$WORK/apt-update.log" 2>&1 ||
    { cat "$WORK/apt-update.log" >&2; exit 1; }
(cd "$WORK/src" && apt-get "$@" -q source --download-only "libopenmpt=$VERSION-1") \
    >"$WORK/apt-source.log" 2>&1 || { cat "$WORK/apt-source.log" >&2; exit 1; }
tar -xzf "$WORK/src/libopenmpt_$VERSION.orig.tar.gz" -C "$WORK/src"
SRC=$(find "$WORK/src" -mindepth 1 -maxdepth 1 -type d -name 'libopenmpt-*' | head -n 1)
[ -x "$SRC/configure" ] || { echo "no configure script in the source package" >&2; exit 1; }

# What neither build uses: the tools, the examples, every file format but
# the tracker modules, and the sound-card libraries.
set -- --prefix="$PREFIX" --disable-shared --enable-static \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-sndfile --without-flac

cd "$WORK/build"
if [ "$TARGET" = windows ]; then
    HOST=x86_64-w64-mingw32
    CONFIGURE="$SRC/configure --host=$HOST CC=$HOST-gcc-posix CXX=$HOST-g++-posix"
    MAKE=make
    STRIP="$HOST-strip --strip-debug"
else
    # emcc runs on the system's node, with Debian's node modules. Exceptions
    # stay off, as in the page: a throw inside libopenmpt ends the program.
    export NODE_PATH=/usr/share/nodejs NODE_OPTIONS=--no-experimental-fetch
    CONFIGURE="emconfigure $SRC/configure --without-sdl2 CFLAGS=-O2 CXXFLAGS=-O2"
    MAKE="emmake make"
    STRIP=true
fi
# shellcheck disable=SC2086 # CONFIGURE and MAKE are commands with arguments
nice -n 19 $CONFIGURE "$@" >"$WORK/configure.log" 2>&1 ||
    { tail -n 40 "$WORK/configure.log" >&2; exit 1; }
# shellcheck disable=SC2086
nice -n 19 $MAKE -j 2 >"$WORK/make.log" 2>&1 || { tail -n 40 "$WORK/make.log" >&2; exit 1; }
# shellcheck disable=SC2086
$MAKE install >"$WORK/install.log" 2>&1 || { tail -n 40 "$WORK/install.log" >&2; exit 1; }
# The Windows release flags carry -g: 130 MB of debug records never used.
$STRIP "$PREFIX/lib/libopenmpt.a"

end=$(date +%s)
echo "libopenmpt $VERSION for $TARGET built in $((end - start)) s" | tee "$STAMP"
rm -rf "$WORK"
