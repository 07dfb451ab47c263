#!/bin/sh
# The Linux release archive in a minimal Debian 13: a viewer's system with
# a desktop's base and nothing the intro brought along.
#   debian.sh PROBE ROOTFS TARBALL
# ROOTFS is the system's folder, kept between runs: made when missing (or
# made for another package list) by debootstrap --variant=minbase from the
# mirror this machine's apt uses, then Mesa's GL and EGL with its drivers,
# the X11 and Wayland client libraries, libxkbcommon0 and ALSA's library
# added; the time it took is printed. No SDL2, libopenmpt, FreeType, GLU or
# PulseAudio library may be in it. The archive is unpacked into the
# system's /tmp (a tmpfs of this run) and its werule started there by
# chroot, with no sound device and SDL left to find one, under Xvfb
# (window_e2e.sh fullscreen: the window, a lit picture, Esc, exit 0). Runs
# as root in a mount namespace of its own, so every mount ends with it.
set -u

probe=$1
rootfs=$2
tarball=$3
e2e=$(cd "$(dirname "$0")/../e2e" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

PACKAGES="libgl1 libglx-mesa0 libgl1-mesa-dri libegl1 libegl-mesa0
libx11-6 libxext6 libxrandr2 libxcursor1 libxi6 libxfixes3 libxss1
libwayland-client0 libwayland-cursor0 libwayland-egl1 libxkbcommon0
libasound2t64"

if [ "$(id -u)" != 0 ]; then
    echo "chroot and mounts need root: skipped"
    exit 77
fi
for tool in debootstrap unshare chroot; do
    command -v "$tool" >/dev/null || { echo "no $tool (tools/install-deps.sh): skipped"; exit 77; }
done
if [ -z "${WERULE_DEBIAN_NAMESPACE:-}" ]; then
    WERULE_DEBIAN_NAMESPACE=1 exec unshare --mount --propagation private "$here/debian.sh" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-debian.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
fail() {
    echo "FAIL: $*"
    exit 1
}

# The Debian mirror of this machine's apt sources (deb822 or one-line).
mirror() {
    found=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '$1 == "URIs:" && $2 ~ /\/debian\/?$/ { print $2; exit }')
    [ -n "$found" ] || found=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk '$1 == "deb" && $2 ~ /\/debian\/?$/ { print $2; exit }')
    echo "${found:-http://deb.debian.org/debian}"
}

# Makes ROOTFS anew in ROOTFS.new, then puts it in place.
make_rootfs() {
    start=$(date +%s)
    new=$rootfs.new
    rm -rf "$new" "$rootfs"
    mkdir -p "$(dirname "$rootfs")"
    from=$(mirror)
    echo "making a minimal Debian 13 in $rootfs from $from"
    debootstrap --variant=minbase trixie "$new" "$from" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
    mount -t proc proc "$new/proc" && mount --rbind /dev "$new/dev" || fail "cannot mount into $new"
    # shellcheck disable=SC2086 # one word a package
    { chroot "$new" apt-get -q update &&
        DEBIAN_FRONTEND=noninteractive chroot "$new" apt-get -q install -y \
            --no-install-recommends $PACKAGES && chroot "$new" apt-get clean; } \
        >"$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; fail "cannot add the desktop's base"; }
    umount -R "$new/dev" && umount "$new/proc" || fail "cannot unmount from $new"
    echo "$PACKAGES" >"$new/.werule-packages"
    mv "$new" "$rootfs"
    echo "made in $(($(date +%s) - start)) s ($(du -sm "$rootfs" | cut -f1) MB)"
}

if [ "$(cat "$rootfs/.werule-packages" 2>/dev/null)" = "$PACKAGES" ]; then
    echo "the minimal Debian 13 in $rootfs, made before"
else
    make_rootfs
fi
grep -q '^VERSION_ID="13"' "$rootfs/etc/os-release" || fail "$rootfs is not Debian 13"
find "$rootfs/usr" "$rootfs/etc" \( -name 'libSDL2*' -o -name 'libopenmpt*' -o -name 'libfreetype*' \
    -o -name 'libGLU*' -o -name 'libpulse*' \) >"$work/forbidden"
[ ! -s "$work/forbidden" ] || fail "the system holds what the archive must bring: $(cat "$work/forbidden")"

# This run's mounts: the kernel's and devices, a fresh /tmp with the X
# server's sockets in it.
mkdir -p -m 1777 /tmp/.X11-unix
mount -t proc proc "$rootfs/proc" && mount --rbind /dev "$rootfs/dev" &&
    mount -t tmpfs tmpfs "$rootfs/tmp" && mkdir -m 1777 "$rootfs/tmp/.X11-unix" &&
    mount --bind /tmp/.X11-unix "$rootfs/tmp/.X11-unix" || fail "cannot mount into $rootfs"

mkdir "$rootfs/tmp/viewer"
tar -xzf "$tarball" -C "$rootfs/tmp/viewer" || fail "cannot unpack $tarball"
folder=$(basename "$tarball" .tar.gz)
[ -x "$rootfs/tmp/viewer/$folder/werule" ] || fail "no $folder/werule in the archive"
chroot "$rootfs" ldd "/tmp/viewer/$folder/werule" | tee "$work/ldd"
grep -q 'not found' "$work/ldd" && fail "werule needs libraries that are not there"

# The viewer's start: in the folder, the X11 desktop's environment, no sound
# device, SDL's own choice of driver.
cat >"$work/werule" <<EOT
#!/bin/sh
exec env -u SDL_AUDIODRIVER -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR HOME=/tmp \\
    chroot "$rootfs" /bin/sh -c 'cd "/tmp/viewer/$folder" && exec ./werule'
EOT
chmod 755 "$work/werule"
"$e2e/window_e2e.sh" "$probe" "$work/werule" fullscreen
