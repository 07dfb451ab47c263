#!/bin/sh
# Builds FreeType from Debian's source package of the version the Linux
# build uses, as a static library for the release build of the intro, and
# installs it under PREFIX:
#   tools/build-freetype.sh PREFIX [DOWNLOADS]
# PREFIX/lib/libfreetype.a, PREFIX/include/freetype2/ and
# PREFIX/LICENSE.txt (the FreeType License) are the result; a PREFIX that
# already holds them is left as it is. DOWNLOADS (default PREFIX/downloads)
# keeps the fetched source package (tools/debian-source.sh). The intro reads
# the outlines of its one embedded TrueType font, so FreeType is built
# without the libraries it may use for other fonts (zlib, bzip2, libpng,
# HarfBuzz, Brotli).
set -eu

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 PREFIX [DOWNLOADS]" >&2; exit 2; }
mkdir -p "$1"
PREFIX=$(cd "$1" && pwd)
DOWNLOADS=${2:-$PREFIX/downloads}
VERSION=2.12.1+dfsg-5+deb12u4
STAMP="$PREFIX/freetype-$VERSION.done"
if [ -f "$STAMP" ] && [ -f "$PREFIX/lib/libfreetype.a" ] &&
    [ -f "$PREFIX/include/freetype2/ft2build.h" ]; then
    exit 0
fi

WORK="$PREFIX/work"
rm -rf "$WORK"
mkdir -p "$WORK"
start=$(date +%s)
SRC=$("$(dirname "$0")/debian-source.sh" freetype "$VERSION" "$DOWNLOADS" "$WORK")

# No path of this machine in the library: sources named from WORK.
nice -n 19 cmake -S "$SRC" -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$WORK/=" -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=TRUE -DFT_DISABLE_BZIP2=TRUE \
    -DFT_DISABLE_PNG=TRUE -DFT_DISABLE_HARFBUZZ=TRUE -DFT_DISABLE_BROTLI=TRUE \
    >"$WORK/configure.log" 2>&1 || { tail -n 40 "$WORK/configure.log" >&2; exit 1; }
nice -n 19 cmake --build "$WORK/build" -j 2 >"$WORK/make.log" 2>&1 ||
    { tail -n 40 "$WORK/make.log" >&2; exit 1; }
cmake --install "$WORK/build" >"$WORK/install.log" 2>&1 || { tail -n 40 "$WORK/install.log" >&2; exit 1; }
cp "$SRC/docs/FTL.TXT" "$PREFIX/LICENSE.txt"

end=$(date +%s)
echo "FreeType $VERSION built in $((end - start)) s" | tee "$STAMP"
rm -rf "$WORK"
