#!/bin/sh
# run-fuzz.sh FUZZER SEED-WRITER WORKDIR SECONDS: writes the seeds and runs
# the fuzzer on them for SECONDS; a finding fails with the fuzzer's report
# and the input left in WORKDIR. CTest runs it through tests/run-if-built.sh,
# which skips it when the fuzzing tree has not built FUZZER.
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus"
"$seeds" "$work/seeds"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -dict="$(dirname "$0")/png.dict" \
    -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$work/seeds"
