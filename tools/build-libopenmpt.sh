#!/bin/sh
# Builds libopenmpt from Debian's source package of the version the Linux
# build uses, for a build that cannot take Debian's binary package, and
# installs the static library and its headers under PREFIX:
#   tools/build-libopenmpt.sh windows PREFIX [DOWNLOADS]   64-bit Windows
#                                            (MinGW-w64, posix threads)
#   tools/build-libopenmpt.sh web PREFIX [DOWNLOADS]       WebAssembly
#                                            (emscripten)
#   tools/build-libopenmpt.sh linux PREFIX [DOWNLOADS]     64-bit x86 Linux,
#                                            for the release build
# PREFIX/lib/libopenmpt.a, PREFIX/include/libopenmpt/ and PREFIX/LICENSE.txt
# are the result; a PREFIX that already holds them is left as it is, so a
# rebuild of the tree does not repeat this. DOWNLOADS (default
# PREFIX/downloads) keeps the fetched source package
# (tools/debian-source.sh). No path of the build machine is compiled in
# (the sources are named from the work folder). Runs under nice with at
# most two jobs: the build takes minutes.
set -eu

[ $# -ge 2 ] && [ $# -le 3 ] || { echo "usage: $0 windows|web|linux PREFIX [DOWNLOADS]" >&2; exit 2; }
TARGET=$1
case $TARGET in
windows | web | linux) ;;
*) echo "$0: unknown target '$TARGET' (windows, web or linux)" >&2; exit 2 ;;
esac
mkdir -p "$2"
PREFIX=$(cd "$2" && pwd)
DOWNLOADS=${3:-$PREFIX/downloads}
VERSION=0.6.9
STAMP="$PREFIX/libopenmpt-$VERSION.done"

if [ -f "$STAMP" ] && [ -f "$PREFIX/lib/libopenmpt.a" ] &&
    [ -f "$PREFIX/include/libopenmpt/libopenmpt.h" ] && [ -f "$PREFIX/LICENSE.txt" ]; then
    exit 0
fi

WORK="$PREFIX/work"
rm -rf "$WORK"
mkdir -p "$WORK/build"
start=$(date +%s)
SRC=$("$(dirname "$0")/debian-source.sh" libopenmpt "$VERSION-1" "$DOWNLOADS" "$WORK")
[ -x "$SRC/configure" ] || { echo "no configure script in the source package" >&2; exit 1; }

# What no build uses: the tools, the examples, every file format but
# the tracker modules, and the sound-card libraries.
set -- --prefix="$PREFIX" --disable-shared --enable-static \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-sndfile --without-flac \
    --without-pulseaudio --without-sdl2
# The sources by their names in the package, not by this machine's path
# (CPPFLAGS: the package's own CFLAGS and CXXFLAGS stay as they are).
MAP="-ffile-prefix-map=$WORK/="

cd "$WORK/build"
if [ "$TARGET" = windows ]; then
    HOST=x86_64-w64-mingw32
    CONFIGURE="$SRC/configure --host=$HOST CC=$HOST-gcc-posix CXX=$HOST-g++-posix"
    MAKE=make
    STRIP="$HOST-strip --strip-debug"
elif [ "$TARGET" = linux ]; then
    # Position-independent, for the intro's PIE.
    CONFIGURE="$SRC/configure --with-pic"
    MAKE=make
    STRIP="strip --strip-debug"
else
    # emcc runs on the system's node, with Debian's node modules. Exceptions
    # stay off, as in the page: a throw inside libopenmpt ends the program.
    export NODE_PATH=/usr/share/nodejs NODE_OPTIONS=--no-experimental-fetch
    CONFIGURE="emconfigure $SRC/configure CFLAGS=-O2 CXXFLAGS=-O2"
    MAKE="emmake make"
    STRIP=true
fi
# shellcheck disable=SC2086 # CONFIGURE and MAKE are commands with arguments
nice -n 19 $CONFIGURE "$@" CPPFLAGS="$MAP" >"$WORK/configure.log" 2>&1 ||
    { tail -n 40 "$WORK/configure.log" >&2; exit 1; }
# shellcheck disable=SC2086
nice -n 19 $MAKE -j 2 >"$WORK/make.log" 2>&1 || { tail -n 40 "$WORK/make.log" >&2; exit 1; }
# shellcheck disable=SC2086
$MAKE install >"$WORK/install.log" 2>&1 || { tail -n 40 "$WORK/install.log" >&2; exit 1; }
# The Windows release flags carry -g: 130 MB of debug records never used.
$STRIP "$PREFIX/lib/libopenmpt.a"
cp "$SRC/LICENSE" "$PREFIX/LICENSE.txt"

end=$(date +%s)
echo "libopenmpt $VERSION for $TARGET built in $((end - start)) s" | tee "$STAMP"
rm -rf "$WORK"
