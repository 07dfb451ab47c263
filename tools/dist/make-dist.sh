#!/bin/sh
# Makes the release files from the built trees:
#   make-dist.sh SOURCE_DIR BUILD_DIR WIN_BUILD_DIR WEB_BUILD_DIR LINUX_BUILD_DIR OUT_DIR
# BUILD_DIR holds werule-capture (the developers' Linux tree), WIN_BUILD_DIR
# werule.exe (make windows), WEB_BUILD_DIR werule.html (make web),
# LINUX_BUILD_DIR the release's Linux werule (make linux). OUT_DIR gets, for
# VERSION from version.sh:
#   werule-VERSION-windows.zip          werule.exe, werule.nfo, file_id.diz,
#                                       LICENSE.txt
#   werule-VERSION-linux-x86_64.tar.gz  werule-VERSION-linux-x86_64/ with
#                                       werule, werule.nfo, LICENSE.txt
#   werule-VERSION-web.html             the page
#   werule-VERSION.png                  the show at SHOT_AT s, 800x600
#   SHA256SUMS                          of the four above
# Each LICENSE.txt holds the licence texts of what its archive holds
# (licences.sh); the page carries its own. Earlier release files in OUT_DIR
# are removed first. The same commit gives the same bytes, from any folder:
# no path of the build in the binaries (the trees' prefix maps), stripped
# binaries (the PE time stamp 0), every file time the commit's time, fixed
# order and owner, gzip without name or time, the screenshot from star seed
# 1.
set -eu

[ $# -eq 6 ] || {
    echo "usage: $0 SOURCE_DIR BUILD_DIR WIN_BUILD_DIR WEB_BUILD_DIR LINUX_BUILD_DIR OUT_DIR" >&2
    exit 2
}
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
win_dir=$(cd "$3" && pwd)
web_dir=$(cd "$4" && pwd)
linux_dir=$(cd "$5" && pwd)
mkdir -p "$6"
out_dir=$(cd "$6" && pwd)
here=$source_dir/tools/dist

# The moment of the screenshot: the greetings panel in full, the cube above
# the floor and the scroller's first words.
SHOT_AT=6
SHOT_SEED=1
version=$("$here/version.sh" "$source_dir")
# The time of every file in the archives: the commit's, or without git the
# time of VERSION.
epoch=$(git -C "$source_dir" log -1 --format=%ct HEAD 2>/dev/null) || epoch=
[ -n "$epoch" ] || epoch=$(date -r "$source_dir/VERSION" +%s)
# SOURCE_DATE_EPOCH=0: strip writes 0, not the time, as the PE time stamp.
export TZ=UTC LC_ALL=C SOURCE_DATE_EPOCH=0

for f in "$build_dir/werule-capture" "$win_dir/werule.exe" "$web_dir/werule.html" \
    "$linux_dir/werule"; do
    [ -f "$f" ] || { echo "make-dist.sh: no $f (make build, windows, web and linux make them)" >&2; exit 1; }
done

stage=$(mktemp -d "${TMPDIR:-/tmp}/werule-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
trap 'exit 1' INT TERM

# The template TEMPLATE filled in, with CRLF line ends.
fill() {
    awk -v version="$version" '{ gsub(/@VERSION@/, version); print $0 "\r" }' "$1"
}

fill "$here/werule.nfo.in" >"$stage/werule.nfo"
fill "$here/file_id.diz.in" >"$stage/file_id.diz"

# Windows: the stripped executable and the three texts, in this order; the
# licences with CRLF line ends, as the nfo.
mkdir "$stage/windows"
x86_64-w64-mingw32-strip -o "$stage/windows/werule.exe" "$win_dir/werule.exe"
cp "$stage/werule.nfo" "$stage/file_id.diz" "$stage/windows/"
"$here/licences.sh" windows "$source_dir" "$win_dir" >"$stage/licences-windows"
sed 's/$/\r/' "$stage/licences-windows" >"$stage/windows/LICENSE.txt"
chmod 755 "$stage/windows/werule.exe"
chmod 644 "$stage/windows/werule.nfo" "$stage/windows/file_id.diz" "$stage/windows/LICENSE.txt"
touch -d "@$epoch" "$stage/windows/"*
zip_name=werule-$version-windows.zip
(cd "$stage/windows" && zip -q -X -9 "$stage/$zip_name" werule.exe werule.nfo file_id.diz LICENSE.txt)

# Linux: a folder of its own with the stripped program and the two texts.
linux=werule-$version-linux-x86_64
mkdir "$stage/$linux"
strip -o "$stage/$linux/werule" "$linux_dir/werule"
cp "$stage/werule.nfo" "$stage/$linux/"
"$here/licences.sh" linux "$source_dir" "$linux_dir" >"$stage/$linux/LICENSE.txt"
chmod 755 "$stage/$linux" "$stage/$linux/werule"
chmod 644 "$stage/$linux/werule.nfo" "$stage/$linux/LICENSE.txt"
touch -d "@$epoch" "$stage/$linux" "$stage/$linux/"*
(cd "$stage" && tar --format=ustar --owner=0 --group=0 --numeric-owner --no-recursion \
    -cf - "$linux" "$linux/werule" "$linux/werule.nfo" "$linux/LICENSE.txt") |
    gzip -9 -n >"$stage/$linux.tar.gz"

# The page, as make web built it: one file that holds its licences.
page=werule-$version-web.html
cp "$web_dir/werule.html" "$stage/$page"
chmod 644 "$stage/$page"

"$build_dir/werule-capture" --at "$SHOT_AT" --seed "$SHOT_SEED" \
    --out "$stage/werule-$version.png"

rm -f "$out_dir"/werule-*-windows.zip "$out_dir"/werule-*-linux-x86_64.tar.gz \
    "$out_dir"/werule-*-web.html "$out_dir"/werule-*.png "$out_dir/SHA256SUMS"
mv "$stage/$zip_name" "$stage/$linux.tar.gz" "$stage/$page" "$stage/werule-$version.png" "$out_dir/"
cd "$out_dir"
sha256sum "$zip_name" "$linux.tar.gz" "$page" "werule-$version.png" >SHA256SUMS
ls -l "$zip_name" "$linux.tar.gz" "$page" "werule-$version.png" SHA256SUMS
