#!/bin/sh
# The release files of `make dist` (DIST_DIR) as a viewer gets them.
#   dist_check.sh CASE SOURCE_DIR DIST_DIR BUILD_DIR WIN_BUILD_DIR WEB_BUILD_DIR \
#                 LINUX_BUILD_DIR [ARGUMENTS]
# CASE:
#   files         the names carry this tree's version; SHA256SUMS lists the
#                 four files and matches them; each archive holds exactly
#                 its files; no binary (the page's WebAssembly too) holds a
#                 path of this machine's trees; the binaries are stripped,
#                 the PE time stamp is 0 and its subsystem version allows
#                 the Windows the nfo names; the screenshot is the show's
#                 800x600 frame with something drawn in its band
#   libraries     the Linux werule loads by name only what every Linux
#                 desktop has (glibc, libgcc_s, libGL.so.1), and asks for
#                 no glibc symbol newer than 2.34 (objdump -T)
#   texts         werule.nfo (same in both archives): 7-bit, CRLF, at most
#                 80 columns, the version, title, question and answer, what
#                 each file needs and no Debian package to install, and the
#                 licences it names; each archive's LICENSE.txt and the page
#                 hold the licence texts of what they hold; file_id.diz:
#                 7-bit, CRLF, at most 10 lines of at most 45 columns
#   reproducible  make-dist.sh run again gives the same bytes
#   clone         make dist in a clone of this commit at another path gives
#                 the same bytes (ARGUMENTS: DOWNLOADS, the fetched source
#                 packages, which the clone shares; it builds everything else)
#   linux         the tar.gz unpacked into an empty folder: its werule under
#                 Xvfb, fullscreen window, Esc, exit 0 (window_e2e.sh;
#                 ARGUMENTS: PROBE)
#   debian        the same inside a minimal Debian 13 (debian.sh; ARGUMENTS:
#                 PROBE ROOTFS)
#   wine          the zip unpacked into an empty folder, werule.exe left
#                 alone there: under Wine on Xvfb, fullscreen, Esc, exit 0
#                 (wine_e2e.sh; ARGUMENTS: PROBE PREFIX, the Wine prefix)
#   web           the page copied alone into an empty folder plays the show
#                 with its music in headless Chromium (tests/web's music
#                 case; ARGUMENTS: REFERENCE, web-render-reference)
set -u

case_name=$1
source_dir=$2
dist_dir=$3
build_dir=$4
win_dir=$5
web_dir=$6
linux_dir=$7
shift 7
e2e=$source_dir/tests/e2e
export LC_ALL=C

version=$("$source_dir/tools/dist/version.sh" "$source_dir") || exit 1
zip=$dist_dir/werule-$version-windows.zip
linux=werule-$version-linux-x86_64
tarball=$dist_dir/$linux.tar.gz
page=$dist_dir/werule-$version-web.html
png=$dist_dir/werule-$version.png
[ -f "$dist_dir/SHA256SUMS" ] || { echo "no $dist_dir/SHA256SUMS (make dist makes it): skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-dist.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    exit 1
}

for f in "$zip" "$tarball" "$page" "$png"; do
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

# Strings of six characters or more in FILE that name a path of this
# machine's trees, into $work/paths; true when there are none.
no_tree_paths() {
    strings -n 6 "$1" | grep -F -e "$source_dir" -e "$build_dir" -e "$win_dir" -e "$web_dir" \
        -e "$linux_dir" -e "$dist_dir" >"$work/paths"
    [ ! -s "$work/paths" ]
}

# FILE holds each of the texts that follow; fails naming what is missing.
holds() {
    file=$1
    shift
    for text in "$@"; do
        grep -q -F -- "$text" "$file" || fail "$(basename "$file") does not hold \"$text\""
    done
}

# FILE holds none of the texts that follow.
lacks() {
    file=$1
    shift
    for text in "$@"; do
        grep -q -F -- "$text" "$file" && fail "$(basename "$file") holds \"$text\""
    done
    return 0
}

case "$case_name" in
files)
    sort -k2 "$dist_dir/SHA256SUMS" | awk '{ print $2 }' >"$work/listed"
    printf '%s\n' "$(basename "$zip")" "$linux.tar.gz" "$(basename "$page")" "$(basename "$png")" |
        sort >"$work/expected"
    cmp -s "$work/listed" "$work/expected" ||
        fail "SHA256SUMS lists $(tr '\n' ' ' <"$work/listed"), not $(tr '\n' ' ' <"$work/expected")"
    (cd "$dist_dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"

    zipinfo -1 "$zip" >"$work/zip-list" || fail "unzip cannot read $zip"
    [ "$(tr '\n' ' ' <"$work/zip-list")" = "werule.exe werule.nfo file_id.diz LICENSE.txt " ] ||
        fail "the zip holds $(tr '\n' ' ' <"$work/zip-list")"
    tar -tzvf "$tarball" >"$work/tar-list" || fail "tar cannot read $tarball"
    cat "$work/tar-list"
    [ "$(awk '{ print $6 }' "$work/tar-list" | tr '\n' ' ')" = \
        "$linux/ $linux/werule $linux/werule.nfo $linux/LICENSE.txt " ] ||
        fail "the tar.gz does not hold exactly $linux/ with werule, werule.nfo and LICENSE.txt"
    awk '$2 != "0/0" { exit 1 }' "$work/tar-list" || fail "the tar.gz has files of an owner other than 0/0"

    mkdir "$work/zip" "$work/tar"
    unzip -q "$zip" -d "$work/zip" && tar -xzf "$tarball" -C "$work/tar" || fail "cannot unpack"
    exe=$work/zip/werule.exe
    elf=$work/tar/$linux/werule
    # The page's WebAssembly and data are inlined as base64.
    grep -o 'base64,[A-Za-z0-9+/=]*' "$page" | sed 's/^base64,//' | while read -r blob; do
        echo "$blob" | base64 -d
    done >"$work/page-blobs" || fail "cannot decode the page's inlined data"
    echo "the page inlines $(wc -c <"$work/page-blobs") bytes as base64"
    [ -s "$work/page-blobs" ] || fail "the page inlines nothing"
    for f in "$exe" "$elf" "$page" "$work/page-blobs"; do
        no_tree_paths "$f" || fail "$(basename "$f") holds paths of the build: $(head -n 5 "$work/paths")"
        echo "$(basename "$f"): no path of the trees"
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
libraries)
    tar -xzf "$tarball" -C "$work" "$linux/werule" || fail "no werule in the tar.gz"
    elf=$work/$linux/werule
    objdump -p "$elf" >"$work/headers" || fail "objdump cannot read werule"
    awk '$1 == "NEEDED" { print $2 }' "$work/headers" | sort >"$work/needed"
    echo "werule loads:" $(cat "$work/needed")
    printf '%s\n' ld-linux-x86-64.so.2 libGL.so.1 libc.so.6 libgcc_s.so.1 libm.so.6 | sort >"$work/base"
    extra=$(comm -23 "$work/needed" "$work/base")
    [ -z "$extra" ] || fail "werule needs libraries a desktop may lack:" $extra
    grep -q 'RPATH\|RUNPATH' "$work/headers" && fail "werule has a library search path: $(grep 'RPATH\|RUNPATH' "$work/headers")"
    objdump -T "$elf" >"$work/symbols" || fail "objdump -T cannot read werule"
    highest=$(grep -o '(GLIBC_2\.[0-9]*)' "$work/symbols" | tr -d '()' | sort -t. -k2 -n -u | tail -n 1)
    echo "the highest glibc version it asks for: $highest (of $(grep -c 'GLIBC_' "$work/symbols") symbols)"
    [ -n "$highest" ] || fail "objdump -T shows no glibc symbol"
    [ "${highest#GLIBC_2.}" -le 34 ] ||
        fail "werule asks for $highest: $(grep -F "($highest)" "$work/symbols" | awk '{ print $NF }' | tr '\n' ' ')"
    gcc_highest=$(grep -o '(GCC_[0-9.]*)' "$work/symbols" | tr -d '()' | sort -V -u | tail -n 1)
    echo "and of libgcc_s: ${gcc_highest:-none}"
    ;;
texts)
    mkdir "$work/zip" "$work/tar"
    unzip -q "$zip" werule.nfo file_id.diz LICENSE.txt -d "$work/zip" ||
        fail "no nfo, diz or LICENSE.txt in the zip"
    tar -xzf "$tarball" -C "$work/tar" "$linux/werule.nfo" "$linux/LICENSE.txt" ||
        fail "no nfo or LICENSE.txt in the tar.gz"
    cmp -s "$work/zip/werule.nfo" "$work/tar/$linux/werule.nfo" || fail "the two archives' nfo differ"
    nfo=$work/zip/werule.nfo
    diz=$work/zip/file_id.diz
    plain_text "$nfo" 80 || fail "werule.nfo breaks its limits"
    plain_text "$diz" 45 || fail "file_id.diz breaks its limits"
    lines=$(wc -l <"$diz")
    echo "werule.nfo: $(wc -l <"$nfo") lines; file_id.diz: $lines lines"
    [ "$lines" -le 10 ] || fail "file_id.diz has $lines lines"
    tr -d '\r' <"$nfo" >"$work/werule.nfo.txt"
    tr -d '\r' <"$diz" >"$work/file_id.diz.txt"
    grep -q '@' "$work/werule.nfo.txt" "$work/file_id.diz.txt" &&
        fail "a template field is left: $(grep '@' "$work/werule.nfo.txt" "$work/file_id.diz.txt")"
    holds "$work/werule.nfo.txt" ":: We rule ::" "$version" "werule-$version-windows.zip" \
        "$linux.tar.gz" "werule-$version-web.html" '"Nie ma fulskrina. W oknie?"' '"To ja znikam."' \
        "2 min 24 s" "Vista" "X11 or Wayland" "glibc 2.34 or later" "OpenGL 1.1" "nothing to install" \
        "WebGL" "LICENSE.txt" "MIT licence" "SIL Open Font License" "zlib licence" "FreeType License" \
        "BSD 3-clause" "SGI Free Software License B" "ZPL 2.1" "GCC Runtime Library Exception" \
        "Emscripten" "musl"
    # What a viewer need not do any more.
    lacks "$work/werule.nfo.txt" "apt-get" "Debian 12 packages" "libsdl2" "to come"
    holds "$work/file_id.diz.txt" ":: We rule ::" "$version" "Vista"

    # The licence texts themselves, each by a sentence of its own.
    project="the We Rule project"
    mit="Permission is hereby granted, free of charge"
    ofl="SIL OPEN FONT LICENSE Version 1.1"
    openmpt="OpenMPT Project Developers and Contributors"
    gcc="GCC RUNTIME LIBRARY EXCEPTION"
    holds "$work/tar/$linux/LICENSE.txt" "$project" "$mit" "$ofl" "$openmpt" "$gcc" \
        "This software is provided 'as-is'" "The FreeType Project LICENSE" \
        "SGI FREE SOFTWARE LICENSE B"
    lacks "$work/tar/$linux/LICENSE.txt" "mingw-w64" "Emscripten"
    tr -d '\r' <"$work/zip/LICENSE.txt" >"$work/windows-licence.txt"
    holds "$work/windows-licence.txt" "$project" "$openmpt" "$gcc" "mingw-w64" "winpthreads"
    lacks "$work/windows-licence.txt" "$ofl" "Sam Lantinga" "FreeType"
    [ "$(tr -cd '\r' <"$work/zip/LICENSE.txt" | wc -c)" -eq "$(wc -l <"$work/zip/LICENSE.txt")" ] ||
        fail "the zip's LICENSE.txt does not end every line with CRLF"
    holds "$page" "$project" "$mit" "$ofl" "$openmpt" "The Emscripten Authors" \
        "musl as a whole is licensed under the following standard MIT license"
    echo "LICENSE.txt: $(wc -l <"$work/tar/$linux/LICENSE.txt") lines (Linux)," \
        "$(wc -l <"$work/windows-licence.txt") (Windows); the page holds its own"

    # The README's release table names the page, and tells what the Linux
    # archive needs rather than packages to install.
    holds "$source_dir/README.md" '`werule-VERSION-web.html`' "glibc 2.34 or later"
    grep 'apt-get install' "$source_dir/README.md" | grep -q libsdl2 &&
        fail "README.md still lists Debian packages to install for the release"
    ;;
reproducible)
    mkdir "$work/again"
    "$source_dir/tools/dist/make-dist.sh" "$source_dir" "$build_dir" "$win_dir" "$web_dir" \
        "$linux_dir" "$work/again" || fail "make-dist.sh failed"
    for f in "$zip" "$tarball" "$page" "$png" "$dist_dir/SHA256SUMS"; do
        cmp "$f" "$work/again/$(basename "$f")" || fail "$(basename "$f") differs from the first run"
    done
    ;;
clone)
    downloads=$1
    if [ -n "$(git -C "$source_dir" status --porcelain)" ]; then
        echo "the tree has changes that a clone would not: skipped"
        exit 77
    fi
    commit=$(git -C "$source_dir" rev-parse HEAD)
    clone=$work/another/place/to/build/werule
    mkdir -p "$(dirname "$clone")"
    git clone -q --no-checkout "$source_dir" "$clone" && git -C "$clone" checkout -q "$commit" ||
        fail "cannot clone $source_dir"
    start=$(date +%s)
    # The clone builds every tree of its own; only the downloads are shared.
    (cd "$clone" && nice -n 19 make dist JOBS=2 DOWNLOADS="$downloads") >"$work/clone.log" 2>&1 ||
        { tail -n 60 "$work/clone.log"; fail "make dist failed in the clone"; }
    echo "make dist in $clone took $(($(date +%s) - start)) s"
    grep ' built in ' "$work/clone.log"
    for f in "$zip" "$tarball" "$page" "$png" "$dist_dir/SHA256SUMS"; do
        other=$clone/dist/$(basename "$f")
        [ -f "$other" ] || fail "the clone made no $(basename "$f")"
        cmp "$f" "$other" || fail "$(basename "$f") differs in a clone at another path"
        echo "same bytes: $(basename "$f")"
    done
    ;;
linux)
    probe=$1
    mkdir "$work/unpacked"
    tar -xzf "$tarball" -C "$work/unpacked" || fail "cannot unpack $tarball"
    cd "$work/unpacked/$linux" || fail "no folder $linux"
    "$e2e/window_e2e.sh" "$probe" "$work/unpacked/$linux/werule" fullscreen || exit $?
    ;;
debian)
    "$source_dir/tests/dist/debian.sh" "$1" "$2" "$tarball" || exit $?
    ;;
wine)
    probe=$1
    prefix=$2
    mkdir "$work/unpacked"
    unzip -q "$zip" -d "$work/unpacked" || fail "cannot unpack $zip"
    rm "$work/unpacked/werule.nfo" "$work/unpacked/file_id.diz" "$work/unpacked/LICENSE.txt"
    cd "$work/unpacked" || exit 1
    "$e2e/wine_e2e.sh" "$probe" "$work/unpacked/werule.exe" "$prefix" fullscreen || exit $?
    [ "$(ls -A "$work/unpacked")" = werule.exe ] ||
        fail "werule.exe left files beside it: $(ls -A "$work/unpacked")"
    ;;
web)
    reference=$1
    mkdir "$work/alone"
    cp "$page" "$work/alone/"
    node "$source_dir/tests/web/music_test.js" music "$work/alone/$(basename "$page")" "$reference" ||
        exit $?
    [ "$(ls -A "$work/alone")" = "$(basename "$page")" ] ||
        fail "the page needed or left files beside it: $(ls -A "$work/alone")"
    ;;
*)
    echo "unknown case $case_name"; exit 2 ;;
esac
echo "PASS: $case_name"
