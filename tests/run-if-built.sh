#!/bin/sh
# The one way the suite skips what another build tree (a sanitizer or
# fuzzing tree) has not built: exit 77, which CTest counts as skipped.
#   run-if-built.sh BINARY [ARGUMENTS...]          runs BINARY
#   run-if-built.sh BINARY -- COMMAND [ARGUMENTS...] runs COMMAND, which uses BINARY
if [ ! -x "$1" ]; then
    echo "not built: $1 (skipped)"
    exit 77
fi
if [ "${2:-}" = "--" ]; then
    shift 2
fi
exec "$@"
