#!/bin/sh
# Cross-builds libopenmpt for 64-bit Windows (MinGW-w64, posix threads) from
# Debian's source package of the version the Linux build uses, and installs
# the static library and its headers under PREFIX:
#   tools/build-libopenmpt-win.sh PREFIX
# PREFIX/lib/libopenmpt.a and PREFIX/include/libopenmpt/ are the result; a
# PREFIX that already holds them is left as it is, so a rebuild of the
# Windows tree does not repeat this. The source package is fetched through a
# sources list of this tree's own (deb-src), with apt's lists and cache
# there too: the system's apt configuration is neither read nor changed.
# Runs under nice with at most two jobs: the build takes minutes.
set -eu

[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
mkdir -p "$1"
PREFIX=$(cd "$1" && pwd)
VERSION=0.6.9
HOST=x86_64-w64-mingw32
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
cat >"$APT/sources.list.d/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF

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

cd "$WORK/build"
nice -n 19 "$SRC/configure" --host=$HOST --prefix="$PREFIX" \
    CC=$HOST-gcc-posix CXX=$HOST-g++-posix \
    --disable-shared --enable-static \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-sndfile --without-flac \
    >"$WORK/configure.log" 2>&1 || { tail -n 40 "$WORK/configure.log" >&2; exit 1; }
nice -n 19 make -j 2 >"$WORK/make.log" 2>&1 || { tail -n 40 "$WORK/make.log" >&2; exit 1; }
make install >"$WORK/install.log" 2>&1 || { tail -n 40 "$WORK/install.log" >&2; exit 1; }
# The release flags carry -g: 130 MB of debug records the intro never uses.
$HOST-strip --strip-debug "$PREFIX/lib/libopenmpt.a"

end=$(date +%s)
echo "libopenmpt $VERSION for $HOST built in $((end - start)) s" | tee "$STAMP"
rm -rf "$WORK"
