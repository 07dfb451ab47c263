#!/bin/sh
# Runs every benchmark of a build tree (executables named bench-* under
# bench/), one after another, each printing its own figures.
#   tools/run-benchmarks.sh BUILD_DIR [NAME...]
#   tools/run-benchmarks.sh BUILD_DIR --quick [NAME...]  each in its quick mode
#   tools/run-benchmarks.sh BUILD_DIR --list    names them, runs none
set -eu
build=${1:-build}
shift || true
list=false
quick=
if [ "${1:-}" = "--list" ]; then
    list=true
    shift
elif [ "${1:-}" = "--quick" ]; then
    quick=--quick
    shift
fi
status=0
for bench in "$build"/bench/*/bench-*; do
    [ -x "$bench" ] || continue
    name=$(basename "$bench")
    if [ $# -gt 0 ]; then
        case " $* " in *" $name "*) ;; *) continue ;; esac
    fi
    if $list; then
        echo "$name"
        continue
    fi
    echo "=== $name"
    "$bench" $quick || status=1
done
exit $status
