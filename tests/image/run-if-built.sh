#!/bin/sh
# Runs a test binary from another build tree; exit 77 (skipped) if that tree
# has not built it.
if [ ! -x "$1" ]; then
    echo "not built: $1" >&2
    exit 77
fi
exec "$@"
