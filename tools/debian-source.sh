#!/bin/sh
# Unpacks a Debian source package, fetched once into a downloads folder:
#   tools/debian-source.sh PACKAGE VERSION DOWNLOADS DEST
# DOWNLOADS keeps the package's files (PACKAGE_VERSION.dsc and the tarballs
# it names) for every later build, of this tree or of another: a package
# already there is not fetched again. DEST gets the package unpacked by
# dpkg-source (the upstream source with Debian's patches), which checks the
# tarballs against the .dsc; the unpacked folder's path is printed.
# Fetched from bookworm's deb-src through apt lists and a cache of the
# downloads folder's own: the system's apt configuration is neither read
# nor changed. Two builds that fetch at once take turns (flock).
set -eu

[ $# -eq 4 ] || { echo "usage: $0 PACKAGE VERSION DOWNLOADS DEST" >&2; exit 2; }
package=$1
version=$2
mkdir -p "$3" "$4"
downloads=$(cd "$3" && pwd)
dest=$(cd "$4" && pwd)
# The .dsc is named without the epoch, and without it the upstream version
# is all before the last hyphen.
bare=${version#*:}
dsc=$downloads/${package}_$bare.dsc

fetch() {
    apt_dir=$downloads/apt
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    : >"$apt_dir/sources.list"
    cat >"$apt_dir/sources.list.d/debian-src.sources" <<EOT
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOT
    # apt's download helper drops to the _apt user, which cannot write here.
    set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" \
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" \
        -o Dir::Cache="$apt_dir/cache" \
        -o APT::Sandbox::User="$(id -un)" \
        -o Debug::NoLocking=1
    apt-get "$@" -q update >"$apt_dir/update.log" 2>&1 ||
        { cat "$apt_dir/update.log" >&2; exit 1; }
    (cd "$downloads" && apt-get "$@" -q source --download-only "$package=$version") \
        >"$apt_dir/source.log" 2>&1 || { cat "$apt_dir/source.log" >&2; exit 1; }
}

(
    flock 9
    [ -f "$dsc" ] || fetch
) 9>"$downloads/.lock"
[ -f "$dsc" ] || { echo "$0: no $dsc after the download" >&2; exit 1; }

target=$dest/$package-${bare%-*}
rm -rf "$target"
dpkg-source --no-copy -x "$dsc" "$target" >"$dest/$package-unpack.log" 2>&1 ||
    { cat "$dest/$package-unpack.log" >&2; exit 1; }
echo "$target"
