#!/bin/sh
# Runs a test binary of another build tree (a sanitizer tree) when it has
# been built there; exit 77 (skipped) when it has not.
[ -x "$1" ] || { echo "no $1: skipped"; exit 77; }
exec "$@"
