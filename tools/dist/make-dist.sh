#!/bin/sh
# Makes the release files from the built trees:
#   make-dist.sh SOURCE_DIR BUILD_DIR WIN_BUILD_DIR OUT_DIR
# BUILD_DIR holds werule and werule-capture (the Linux tree), WIN_BUILD_DIR
# werule.exe (make windows). OUT_DIR gets, for VERSION from version.sh:
#   werule-VERSION-windows.zip          werule.exe, werule.nfo, file_id.diz
#   werule-VERSION-linux-x86_64.tar.gz  werule-VERSION-linux-x86_64/ with
#                                       werule and werule.nfo
#   werule-VERSION.png                  the show at SHOT_AT s, 800x600
#   SHA256SUMS                          of the three above
# Earlier release files in OUT_DIR are removed first. The same commit gives
# the same bytes: stripped binaries (the PE time stamp 0), every file time
# the commit's time, fixed order and owner, gzip without name or time, the
# screenshot from star seed 1.
set -eu

[ $# -eq 4 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR WIN_BUILD_DIR OUT_DIR" >&2; exit 2; }
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
win_dir=$(cd "$3" && pwd)
mkdir -p "$4"
out_dir=$(cd "$4" && pwd)
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

for f in "$build_dir/werule" "$build_dir/werule-capture" "$win_dir/werule.exe"; do
    [ -f "$f" ] || { echo "make-dist.sh: no $f (make build and make windows make it)" >&2; exit 1; }
done

stage=$(mktemp -d "${TMPDIR:-/tmp}/werule-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
trap 'exit 1' INT TERM

# The Debian packages of the libraries the Linux program PROGRAM loads by
# name, one a line, into FILE.
linux_packages() {
    : >"$2.all"
    for lib in $(objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }'); do
        path=$(ldd "$1" | awk -v lib="$lib" '$1 == lib { print $3 }')
        [ -n "$path" ] || { echo "make-dist.sh: $lib is not found" >&2; exit 1; }
        # With /lib a link to /usr/lib, dpkg knows the file under one of them.
        owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null ||
            dpkg -S "$(readlink -f "$path")" 2>/dev/null) ||
            { echo "make-dist.sh: no Debian package holds $path" >&2; exit 1; }
        echo "${owner%%:*}" >>"$2.all"
    done
    sort -u "$2.all" >"$2"
}

# The words of standard input, one a line, as lines of at most 80 columns,
# each indented by six spaces.
wrap() {
    awk '
        { if (line != "" && length(line) + 1 + length($0) > 74) { print "      " line; line = "" }
          line = (line == "" ? $0 : line " " $0) }
        END { if (line != "") print "      " line }'
}

# The template TEMPLATE filled in, with CRLF line ends.
fill() {
    awk -v version="$version" -v packages="$stage/packages" -v font="$stage/font" '
        function file(name,   line) {
            while ((getline line < name) > 0) print line "\r"
            close(name)
        }
        /^@LINUX_PACKAGES@$/ { file(packages); next }
        /^@FONT_LICENCE@$/ { file(font); next }
        { gsub(/@VERSION@/, version); print $0 "\r" }
    ' "$1"
}

linux_packages "$build_dir/werule" "$stage/package-list"
wrap <"$stage/package-list" >"$stage/packages"
sed -n '/^SIL OPEN FONT LICENSE/,$p' "$source_dir/assets/fonts/LICENSE" |
    sed 's/^\(.\)/  \1/' >"$stage/font"
fill "$here/werule.nfo.in" >"$stage/werule.nfo"
fill "$here/file_id.diz.in" >"$stage/file_id.diz"

# Windows: the stripped executable and the two texts, in this order.
mkdir "$stage/windows"
x86_64-w64-mingw32-strip -o "$stage/windows/werule.exe" "$win_dir/werule.exe"
cp "$stage/werule.nfo" "$stage/file_id.diz" "$stage/windows/"
chmod 755 "$stage/windows/werule.exe"
chmod 644 "$stage/windows/werule.nfo" "$stage/windows/file_id.diz"
touch -d "@$epoch" "$stage/windows/"*
zip_name=werule-$version-windows.zip
(cd "$stage/windows" && zip -q -X -9 "$stage/$zip_name" werule.exe werule.nfo file_id.diz)

# Linux: a folder of its own with the stripped program and the nfo.
linux=werule-$version-linux-x86_64
mkdir "$stage/$linux"
strip -o "$stage/$linux/werule" "$build_dir/werule"
cp "$stage/werule.nfo" "$stage/$linux/"
chmod 755 "$stage/$linux" "$stage/$linux/werule"
chmod 644 "$stage/$linux/werule.nfo"
touch -d "@$epoch" "$stage/$linux" "$stage/$linux/"*
(cd "$stage" && tar --format=ustar --owner=0 --group=0 --numeric-owner --no-recursion \
    -cf - "$linux" "$linux/werule" "$linux/werule.nfo") | gzip -9 -n >"$stage/$linux.tar.gz"

"$build_dir/werule-capture" --at "$SHOT_AT" --seed "$SHOT_SEED" \
    --out "$stage/werule-$version.png"

rm -f "$out_dir"/werule-*-windows.zip "$out_dir"/werule-*-linux-x86_64.tar.gz \
    "$out_dir"/werule-*.png "$out_dir/SHA256SUMS"
mv "$stage/$zip_name" "$stage/$linux.tar.gz" "$stage/werule-$version.png" "$out_dir/"
cd "$out_dir"
sha256sum "$zip_name" "$linux.tar.gz" "werule-$version.png" >SHA256SUMS
ls -l "$zip_name" "$linux.tar.gz" "werule-$version.png" SHA256SUMS
