#!/bin/sh
# run-fuzz.sh FUZZER SEED-WRITER WORKDIR SECONDS: writes the seeds and runs
# the fuzzer on them for SECONDS. Exit 77 (skipped) when the fuzzing tree has
# not built FUZZER; a finding fails with the fuzzer's report and the input
# left in WORKDIR.
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
if [ ! -x "$fuzzer" ]; then
    echo "not built: $fuzzer" >&2
    exit 77
fi
rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus"
"$seeds" "$work/seeds"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -dict="$(dirname "$0")/png.dict" \
    -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$work/seeds"
