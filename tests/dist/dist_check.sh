#!/bin/sh
# The release files of `make dist` (DIST_DIR) as a viewer gets them.
#   dist_check.sh CASE SOURCE_DIR DIST_DIR BUILD_DIR WIN_BUILD_DIR [PROBE PREFIX]
# CASE:
#   files         the names carry this tree's version; SHA256SUMS lists the
#                 three files and matches them; each archive holds exactly
#                 its files; the binaries are stripped of this tree's path,
#                 the PE time stamp is 0 and its subsystem version allows
#                 the Windows the nfo names; the screenshot is the show's
#                 800x600 frame with something drawn in its band
#   texts         werule.nfo (same in both archives): 7-bit, CRLF, at most
#                 80 columns, the version, title, question and answer, and
#                 every Debian package it names in the README's release
#                 install line; file_id.diz: 7-bit, CRLF, at most 10 lines
#                 of at most 45 columns
#   reproducible  make-dist.sh run again gives the same bytes
#   linux         the tar.gz unpacked into an empty folder: its werule under
#                 Xvfb, fullscreen window, Esc, exit 0 (window_e2e.sh)
#   wine          the zip unpacked into an empty folder, werule.exe left
#                 alone there: under Wine on Xvfb, fullscreen, Esc, exit 0
#                 (wine_e2e.sh, in the Wine prefix PREFIX)
set -u

case_name=$1
source_dir=$2
dist_dir=$3
build_dir=$4
win_dir=$5
probe=${6:-}
prefix=${7:-}
e2e=$source_dir/tests/e2e
export LC_ALL=C

version=$("$source_dir/tools/dist/version.sh" "$source_dir") || exit 1
zip=$dist_dir/werule-$version-windows.zip
linux=werule-$version-linux-x86_64
tarball=$dist_dir/$linux.tar.gz
png=$dist_dir/werule-$version.png
[ -f "$dist_dir/SHA256SUMS" ] || { echo "no $dist_dir/SHA256SUMS (make dist makes it): skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-dist.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    exit 1
}

for f in "$zip" "$tarball" "$png"; do
    [ -f "$f" ] || fail "no $f: the release files do not carry version $version" \
        "($(cd "$dist_dir" && echo *))"
done

# Lines of FILE that break the rules of a text read on Windows: a byte
# outside printable 7-bit ASCII, a line not ended by CRLF, one wider than
# $2 columns. Prints them; true when there are none.
plain_text() {
    awk -v width="$2" -v name="$(basename "$1")" '
        { if (!sub(/\r$/, "")) { print name " line " NR ": no CR"; bad = 1 }
          if (/[^ -~]/) { print name " line " NR ": not printable 7-bit ASCII"; bad = 1 }
          if (length($0) > width) { print name " line " NR ": " length($0) " columns"; bad = 1 } }
        END { exit bad }' "$1" || return 1
    # A last line without its line end.
    [ "$(tail -c 2 "$1" | od -An -c | tr -d ' ')" = '\r\n' ] || { echo "$1: the last line has no CRLF"; return 1; }
}

case "$case_name" in
files)
    sort -k2 "$dist_dir/SHA256SUMS" | awk '{ print $2 }' >"$work/listed"
    printf '%s\n' "$(basename "$zip")" "$linux.tar.gz" "$(basename "$png")" | sort >"$work/expected"
    cmp -s "$work/listed" "$work/expected" ||
        fail "SHA256SUMS lists $(tr '\n' ' ' <"$work/listed"), not $(tr '\n' ' ' <"$work/expected")"
    (cd "$dist_dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"

    zipinfo -1 "$zip" >"$work/zip-list" || fail "unzip cannot read $zip"
    [ "$(tr '\n' ' ' <"$work/zip-list")" = "werule.exe werule.nfo file_id.diz " ] ||
        fail "the zip holds $(tr '\n' ' ' <"$work/zip-list")"
    tar -tzvf "$tarball" >"$work/tar-list" || fail "tar cannot read $tarball"
    cat "$work/tar-list"
    [ "$(awk '{ print $6 }' "$work/tar-list" | tr '\n' ' ')" = "$linux/ $linux/werule $linux/werule.nfo " ] ||
        fail "the tar.gz does not hold exactly $linux/ with werule and werule.nfo"
    awk '$2 != "0/0" { exit 1 }' "$work/tar-list" || fail "the tar.gz has files of an owner other than 0/0"

    mkdir "$work/zip" "$work/tar"
    unzip -q "$zip" -d "$work/zip" && tar -xzf "$tarball" -C "$work/tar" || fail "cannot unpack"
    exe=$work/zip/werule.exe
    elf=$work/tar/$linux/werule
    # No path of this machine's trees, but for the names of libopenmpt's
    # own sources that its cross-build compiled into the library (__FILE__).
    for f in "$exe" "$elf"; do
        strings -n 6 "$f" >"$work/strings"
        grep -F -e "$source_dir" -e "$build_dir" -e "$win_dir" "$work/strings" |
            grep -v -F /third_party/libopenmpt/work/src/ >"$work/paths"
        [ -s "$work/paths" ] && fail "$(basename "$f") holds paths of the build: $(cat "$work/paths")"
        echo "$(basename "$f"): no path of the trees;" \
            "$(grep -c -F /third_party/libopenmpt/work/src/ "$work/strings") of libopenmpt's sources"
    done
    objdump -h "$elf" | grep -q '\.debug_\|\.symtab' && fail "werule is not stripped"
    x86_64-w64-mingw32-objdump -p "$exe" >"$work/pe" || fail "objdump cannot read werule.exe"
    x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug_' && fail "werule.exe is not stripped"
    stamp=$(awk '$1 == "Time/Date" { $1 = ""; print }' "$work/pe")
    echo "werule.exe time stamp:$stamp"
    case "$stamp" in *" 1970") ;; *) fail "the PE time stamp is not 0 (link without --no-insert-timestamp?)" ;; esac
    # 6.0 is Vista, what the nfo and diz name; an executable that asks for a
    # later Windows makes them wrong.
    for field in OSystemVersion SubsystemVersion; do
        major=$(awk -v f="Major$field" '$1 == f { print $2 }' "$work/pe")
        minor=$(awk -v f="Minor$field" '$1 == f { print $2 }' "$work/pe")
        echo "$field $major.$minor"
        [ "$major" -lt 6 ] || { [ "$major" -eq 6 ] && [ "$minor" -eq 0 ]; } ||
            fail "$field $major.$minor: later than Vista (6.0)"
    done

    size=$(identify -format '%wx%h' "$png") || fail "identify cannot read the screenshot"
    [ "$size" = 800x600 ] || fail "the screenshot is $size"
    band=$(convert "$png" -crop 800x400+0+100 +repage -colorspace gray -format '%[fx:255*mean]' info:)
    top=$(convert "$png" -crop 800x100+0+0 +repage -separate -evaluate-sequence max \
        -format '%[fx:int(255*maxima+0.5)]' info:)
    echo "screenshot $size, mean of the band $band, brightest of the top strip $top"
    [ "$top" -eq 0 ] || fail "the screenshot's letterbox is not black"
    awk "BEGIN { exit !($band > 20) }" || fail "the screenshot's band shows little"
    ls -l "$dist_dir"
    ;;
texts)
    unzip -q "$zip" werule.nfo file_id.diz -d "$work" || fail "no nfo or diz in the zip"
    tar -xzf "$tarball" -C "$work" "$linux/werule.nfo" || fail "no nfo in the tar.gz"
    cmp -s "$work/werule.nfo" "$work/$linux/werule.nfo" || fail "the two archives' nfo differ"
    nfo=$work/werule.nfo
    diz=$work/file_id.diz
    plain_text "$nfo" 80 || fail "werule.nfo breaks its limits"
    plain_text "$diz" 45 || fail "file_id.diz breaks its limits"
    lines=$(wc -l <"$diz")
    echo "werule.nfo: $(wc -l <"$nfo") lines; file_id.diz: $lines lines"
    [ "$lines" -le 10 ] || fail "file_id.diz has $lines lines"
    tr -d '\r' <"$nfo" >"$work/nfo.txt"
    tr -d '\r' <"$diz" >"$work/diz.txt"
    grep -q '@' "$work/nfo.txt" "$work/diz.txt" && fail "a template field is left: $(grep '@' "$work/nfo.txt" "$work/diz.txt")"
    for text in ":: We rule ::" "$version" "werule-$version-windows.zip" "$linux.tar.gz" \
        '"Nie ma fulskrina. W oknie?"' '"To ja znikam."' "2 min 24 s" "Vista" "X11 or Wayland"; do
        grep -q -F -- "$text" "$work/nfo.txt" || fail "werule.nfo does not say $text"
    done
    for text in ":: We rule ::" "$version" "Vista"; do
        grep -q -F -- "$text" "$work/diz.txt" || fail "file_id.diz does not say $text"
    done
    # The packages of the Linux program's libraries: the indented lines
    # between the sentence that names them and the drivers.
    packages=$(sed -n '/Debian 12 packages for its shared libraries:/,/OpenGL driver/p' "$work/nfo.txt" |
        sed '1d;$d')
    echo "packages the nfo names:" $packages
    [ -n "$packages" ] || fail "the nfo names no Debian package"
    install=$(grep 'apt-get install' "$source_dir/README.md" | grep libopenmpt0) ||
        fail "README.md has no install line for the Linux release"
    for p in $packages; do
        echo " $install " | grep -q " $p " || fail "README's release install line lacks $p"
    done
    ;;
reproducible)
    mkdir "$work/again"
    "$source_dir/tools/dist/make-dist.sh" "$source_dir" "$build_dir" "$win_dir" "$work/again" ||
        fail "make-dist.sh failed"
    for f in "$zip" "$tarball" "$png" "$dist_dir/SHA256SUMS"; do
        cmp "$f" "$work/again/$(basename "$f")" || fail "$(basename "$f") differs from the first run"
    done
    ;;
linux)
    mkdir "$work/unpacked"
    tar -xzf "$tarball" -C "$work/unpacked" || fail "cannot unpack $tarball"
    cd "$work/unpacked/$linux" || fail "no folder $linux"
    "$e2e/window_e2e.sh" "$probe" "$work/unpacked/$linux/werule" fullscreen || exit $?
    ;;
wine)
    mkdir "$work/unpacked"
    unzip -q "$zip" -d "$work/unpacked" || fail "cannot unpack $zip"
    rm "$work/unpacked/werule.nfo" "$work/unpacked/file_id.diz"
    cd "$work/unpacked" || exit 1
    "$e2e/wine_e2e.sh" "$probe" "$work/unpacked/werule.exe" "$prefix" fullscreen || exit $?
    [ "$(ls -A "$work/unpacked")" = werule.exe ] ||
        fail "werule.exe left files beside it: $(ls -A "$work/unpacked")"
    ;;
*)
    echo "unknown case $case_name"; exit 2 ;;
esac
echo "PASS: $case_name"
