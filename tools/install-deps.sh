#!/bin/sh
# Installs the Debian packages this project builds, runs and tests with.
# Run by `make` before the first configure; safe to run again (installs only
# what is missing). As root it installs; otherwise it prints the command.
#   tools/install-deps.sh [--pipewire]
# --pipewire adds PipeWire (see below), which CI asks for (.ci/run).
set -eu

PACKAGES="cmake ninja-build g++ make pkg-config
libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgles-dev
libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxi-dev libxfixes-dev
libxss-dev libwayland-dev libxkbcommon-dev libdecor-0-dev libasound2-dev
libpipewire-0.3-dev libdbus-1-dev
libopenmpt-dev openmpt123 libfreetype-dev fonts-liberation2
libpng-dev zlib1g-dev libdeflate-dev libspng-dev libstb-dev
libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
clang-14 libclang-rt-14-dev clang-format
xvfb xfonts-base xdotool x11-utils weston xwayland imagemagick ffmpeg sox
libpulse-dev pulseaudio pulseaudio-utils
libgl1-mesa-dri libglx-mesa0 libegl-mesa0 mesa-utils
g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
dpkg-dev zip unzip debootstrap
emscripten chromium"

# libx11-dev to libdbus-1-dev: the headers the Linux release's SDL2 is
# built against (tools/build-sdl2.sh), each system it loads at run time.
# debootstrap: the minimal Debian 13 that the release archive is tested in.

# PipeWire, WirePlumber, pipewire-pulse and D-Bus: with them bench-sync
# and the sound tests also measure through PipeWire, on private servers of
# their own. Only with --pipewire: on a desktop that runs PulseAudio they
# would take over its sound.
case "${1:-}" in
--pipewire) PACKAGES="$PACKAGES pipewire pipewire-pulse wireplumber dbus" ;;
"") ;;
*) echo "usage: $0 [--pipewire]" >&2; exit 2 ;;
esac

# The page's build runs emcc on node, and its tests drive Chromium from node
# with npm's puppeteer-core: Debian's nodejs and npm unless a node with its
# own npm is already installed (NodeSource's nodejs package carries npm and
# conflicts with Debian's).
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    PACKAGES="$PACKAGES nodejs npm"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Install them with: sudo apt-get install -y$missing" >&2
    exit 1
fi
echo "Installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
# Another apt run (a second tree's make) holds dpkg's lock for a while:
# wait for it rather than fail.
apt-get -o DPkg::Lock::Timeout=900 update -q >&2 || true
# shellcheck disable=SC2086
apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends $missing >&2
