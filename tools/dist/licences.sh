#!/bin/sh
# Prints the licence texts of everything one release file holds:
#   licences.sh linux|windows|web SOURCE_DIR TREE_DIR
# TREE_DIR is the build tree of that file (make linux, make windows or make
# web), whose third_party/ holds the libraries built from Debian's source
# packages, each with its licence (LICENSE.txt). What comes from Debian's
# binary packages (GLU, the MinGW-w64 runtime, the GCC runtime) is told by
# those packages' copyright files. The page's texts come as one JavaScript
# comment, which its build puts at the top of its script. Fails when a text
# is missing.
set -eu

[ $# -eq 3 ] || { echo "usage: $0 linux|windows|web SOURCE_DIR TREE_DIR" >&2; exit 2; }
kind=$1
source_dir=$2
tree=$3

GLU_COPYRIGHT=/usr/share/doc/libglu1-mesa-dev/copyright
MINGW_COPYRIGHT=/usr/share/doc/mingw-w64-common/copyright
GCC_COPYRIGHT=/usr/share/doc/gcc-12-base/copyright
MUSL_COPYRIGHT=/usr/share/emscripten/system/lib/libc/musl/COPYRIGHT

# A heading: what, under which licence, and which part of the release.
section() {
    echo
    echo "==============================================================================="
    echo "$1"
    echo "==============================================================================="
    echo
}

# The file FILE, which must exist, with LF line ends (libopenmpt's has
# CRLF).
text() {
    [ -s "$1" ] || { echo "$0: no licence text $1" >&2; exit 1; }
    tr -d '\r' <"$1"
}

# The lines of FILE from the first that is FIRST to the first after it that
# ends with LAST; fails when there are none.
excerpt() {
    [ -s "$1" ] || { echo "$0: no licence text $1" >&2; exit 1; }
    awk -v first="$2" -v last="$3" '
        $0 == first { on = 1 }
        on { print; found = 1 }
        on && index($0, last) && length($0) >= length(last) &&
            substr($0, length($0) - length(last) + 1) == last { exit }
        END { exit !found }' "$1" || { echo "$0: no '$2' in $1" >&2; exit 1; }
}

project() {
    section "We rule: the program, its pictures, music, mesh and texts (MIT licence)"
    text "$source_dir/LICENSE"
}

font() {
    section "Liberation Sans Bold, the font of the scroller's glyphs
(SIL Open Font License 1.1)"
    text "$source_dir/assets/fonts/LICENSE"
}

libopenmpt() {
    section "libopenmpt 0.6.9, the music player (BSD 3-clause licence)"
    text "$tree/third_party/libopenmpt/LICENSE.txt"
}

gcc_runtime() {
    section "The GNU C++ library and the GCC runtime (GNU GPL 3 or later with the
GCC Runtime Library Exception 3.1, which lets a program compiled with GCC
carry them on terms of its own; the Exception follows)"
    excerpt "$GCC_COPYRIGHT" "GCC RUNTIME LIBRARY EXCEPTION" "requirements of the license of GCC."
}

# The texts of the release file KIND.
texts() {
    echo "The licences of what this release file of :: We rule :: holds."
    case "$1" in
    linux)
        project
        font
        section "SDL 2.26.5, windows, input and sound (zlib licence)"
        text "$tree/third_party/sdl2/LICENSE.txt"
        section "FreeType 2.12.1, the font's outlines (The FreeType License)

Portions of this software are copyright (c) 2022 The FreeType Project
(www.freetype.org). All rights reserved."
        text "$tree/third_party/freetype/LICENSE.txt"
        libopenmpt
        section "GLU 9.0.2, the glyphs' tessellator (SGI Free Software License B 2.0),
as Debian's package libglu1-mesa-dev tells it"
        text "$GLU_COPYRIGHT"
        gcc_runtime
        ;;
    windows)
        project
        libopenmpt
        section "The MinGW-w64 runtime and winpthreads (ZPL 2.1, MIT and others, file by
file), as Debian's package mingw-w64-common tells them"
        text "$MINGW_COPYRIGHT"
        gcc_runtime
        ;;
    web-texts)
        project
        font
        libopenmpt
        section "Emscripten's runtime (MIT licence)"
        echo "Copyright (c) 2010-2022 The Emscripten Authors"
        echo
        sed -n '/^Permission is hereby granted/,$p' "$source_dir/LICENSE"
        section "musl, the C library of the page's WebAssembly (MIT licence)"
        excerpt "$MUSL_COPYRIGHT" "musl as a whole is licensed under the following standard MIT license:" \
            "SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE."
        ;;
    esac
}

case "$kind" in
linux | windows)
    texts "$kind"
    ;;
web)
    texts web-texts >"$tree/licences.txt.new"
    if grep -q -F '*/' "$tree/licences.txt.new"; then
        echo "$0: a licence text would end the page's comment early" >&2
        exit 1
    fi
    echo "/*"
    cat "$tree/licences.txt.new"
    echo "*/"
    rm -f "$tree/licences.txt.new"
    ;;
*)
    echo "$0: unknown release file '$kind'" >&2
    exit 2
    ;;
esac
