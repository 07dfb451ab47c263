#!/bin/sh
# Fails when a C or C++ file of the tree drifts from .clang-format; names
# each such file. Usage: tools/check-format.sh [SOURCE_DIR]
# Fix a file with: clang-format -i FILE
set -eu
cd "${1:-$(dirname "$0")/..}"
format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
    echo "clang-format (14) is not installed" >&2
    exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.c')
else
    files=$(find app image scene show platform tools tests bench assets \
        \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print)
fi
drifted=0
for f in $files; do
    [ -f "$f" ] || continue
    if ! "$format" --dry-run -Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f (clang-format -i $f)" >&2
        drifted=$((drifted + 1))
    fi
done
if [ "$drifted" -ne 0 ]; then
    echo "$drifted file(s) drift from .clang-format" >&2
    exit 1
fi
echo "every C and C++ file follows .clang-format"
