#!/bin/sh
# Every program path the READMEs name exists in a built tree: `build/...`
# in the top README (the tree `make` builds) and `<tree>/...` in the others,
# each an executable file of BUILD_DIR; and `make bench`'s runner finds the
# benchmarks.
#   readme_paths.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1
build_dir=$2
cd "$source_dir" || exit 1

failed=0
checked=0
check() {
    checked=$((checked + 1))
    if [ -x "$build_dir/$1" ] && [ -f "$build_dir/$1" ]; then
        echo "ok: $2 names $1"
    else
        echo "FAIL: $2 names $1, which the build does not make"
        failed=$((failed + 1))
    fi
}

for path in $(grep -o 'build/[A-Za-z0-9_./-]*[A-Za-z0-9_]' README.md | sort -u); do
    case "$path" in
    */) continue ;;  # a folder, such as the tree itself
    esac
    [ "$path" = build/ ] && continue
    check "${path#build/}" README.md
done
for readme in assets/README.md tools/*/README.md; do
    for path in $(grep -o '\(<tree>\|build\)/[A-Za-z0-9_./-]*[A-Za-z0-9_]' "$readme" | sort -u); do
        check "${path#*/}" "$readme"
    done
done

benchmarks=$(tools/run-benchmarks.sh "$build_dir" --list)
if [ -z "$benchmarks" ]; then
    echo "FAIL: tools/run-benchmarks.sh finds no benchmark in $build_dir"
    failed=$((failed + 1))
else
    echo "ok: make bench runs" $benchmarks
fi

[ "$checked" -gt 0 ] || { echo "FAIL: no path found in the READMEs"; exit 1; }
[ "$failed" -eq 0 ] || exit 1
echo "PASS: $checked paths"
