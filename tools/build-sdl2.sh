#!/bin/sh
# Builds SDL2 from Debian's source package of the version the Linux build
# uses, as a static library for the release build of the intro, and
# installs it under PREFIX:
#   tools/build-sdl2.sh PREFIX [DOWNLOADS]
# PREFIX/lib/libSDL2.a, PREFIX/include/SDL2/ and PREFIX/LICENSE.txt are the
# result; a PREFIX that already holds them is left as it is. DOWNLOADS
# (default PREFIX/downloads) keeps the fetched source package
# (tools/debian-source.sh).
#
# Every system library SDL uses is loaded at run time when present, never
# linked: X11 and Wayland (with libdecor and libxkbcommon), PulseAudio,
# PipeWire and ALSA, libdbus and libsamplerate. So the intro needs none of
# them to start, and uses what the viewer's desktop has. Only what the
# intro uses is built: video, audio, events, threads and timers; no
# joystick, haptic or sensor code, no console (KMS) video.
set -eu

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 PREFIX [DOWNLOADS]" >&2; exit 2; }
mkdir -p "$1"
PREFIX=$(cd "$1" && pwd)
DOWNLOADS=${2:-$PREFIX/downloads}
VERSION=2.26.5+dfsg-1
STAMP="$PREFIX/sdl2-$VERSION.done"
if [ -f "$STAMP" ] && [ -f "$PREFIX/lib/libSDL2.a" ] && [ -f "$PREFIX/include/SDL2/SDL.h" ]; then
    exit 0
fi

WORK="$PREFIX/work"
rm -rf "$WORK"
mkdir -p "$WORK"
start=$(date +%s)
SRC=$("$(dirname "$0")/debian-source.sh" libsdl2 "$VERSION" "$DOWNLOADS" "$WORK")

# No path of this machine in the library: the sources and the generated
# files are named from WORK.
MAP="-ffile-prefix-map=$WORK/="
nice -n 19 cmake -S "$SRC" -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_C_FLAGS="$MAP" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON -DSDL_TEST=OFF -DSDL_CCACHE=OFF \
    -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON -DSDL_RPATH=OFF \
    -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
    -DSDL_DEPS_SHARED=ON -DSDL_X11_SHARED=ON -DSDL_WAYLAND_SHARED=ON \
    -DSDL_WAYLAND_LIBDECOR_SHARED=ON -DSDL_PULSEAUDIO_SHARED=ON -DSDL_PIPEWIRE_SHARED=ON \
    -DSDL_ALSA_SHARED=ON -DSDL_LIBSAMPLERATE_SHARED=ON \
    -DSDL_KMSDRM=OFF -DSDL_RPI=OFF -DSDL_VIVANTE=OFF -DSDL_DIRECTFB=OFF \
    -DSDL_JACK=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF -DSDL_NAS=OFF -DSDL_SNDIO=OFF \
    -DSDL_FUSIONSOUND=OFF -DSDL_OSS=OFF \
    >"$WORK/configure.log" 2>&1 || { tail -n 40 "$WORK/configure.log" >&2; exit 1; }
# Each of these missing (its headers not installed) would leave a viewer's
# desktop without its display or its sound.
for option in X11_SHARED WAYLAND_SHARED WAYLAND_LIBDECOR_SHARED PULSEAUDIO_SHARED \
    PIPEWIRE_SHARED ALSA_SHARED; do
    grep -q "SDL_$option *(Wanted: ON): ON" "$WORK/configure.log" || {
        echo "$0: SDL_$option is off: is its -dev package installed (tools/install-deps.sh)?" >&2
        grep "SDL_$option " "$WORK/configure.log" >&2
        exit 1
    }
done
nice -n 19 cmake --build "$WORK/build" -j 2 >"$WORK/make.log" 2>&1 ||
    { tail -n 40 "$WORK/make.log" >&2; exit 1; }
cmake --install "$WORK/build" >"$WORK/install.log" 2>&1 || { tail -n 40 "$WORK/install.log" >&2; exit 1; }
# A system library linked rather than loaded would make the intro need it.
for lib in X11 wayland pulse pipewire asound dbus samplerate decor xkbcommon; do
    if grep -q -- "-l$lib" "$PREFIX/lib/pkgconfig/sdl2.pc"; then
        echo "$0: SDL links lib$lib instead of loading it" >&2
        exit 1
    fi
done
cp "$SRC/LICENSE.txt" "$PREFIX/LICENSE.txt"

end=$(date +%s)
echo "SDL2 $VERSION built in $((end - start)) s" | tee "$STAMP"
rm -rf "$WORK"
