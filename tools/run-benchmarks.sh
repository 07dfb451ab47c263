#!/bin/sh
# Runs every benchmark of a build tree (executables named bench-* under
# bench/), one after another, each printing its own figures.
#   tools/run-benchmarks.sh BUILD_DIR [NAME...]
set -eu
build=${1:-build}
shift || true
status=0
for bench in "$build"/bench/*/bench-*; do
    [ -x "$bench" ] || continue
    name=$(basename "$bench")
    if [ $# -gt 0 ]; then
        case " $* " in *" $name "*) ;; *) continue ;; esac
    fi
    echo "=== $name"
    "$bench" || status=1
done
exit $status
