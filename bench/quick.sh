#!/bin/sh
# Runs one benchmark in its quick mode for the test suite and checks that it
# measured something: fails when the benchmark ends with a non-zero code,
# when no line of its output matches one of the expected forms, or when
# Google Benchmark reports a run that ended in an error; exits 77 (skipped)
# when a file it needs has not been built.
#   quick.sh [--needs FILE]... [--expect REGEX]... -- COMMAND [ARGUMENT...]
# REGEX is an extended regular expression that a whole line must match.
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/werule-bench-quick.XXXXXX")
trap 'rm -rf "$work"' EXIT
: >"$work/expected"
while [ $# -gt 0 ]; do
    case $1 in
    --needs)
        [ -e "$2" ] || { echo "not built: $2 (skipped)"; exit 77; }
        shift 2
        ;;
    --expect)
        printf '%s\n' "$2" >>"$work/expected"
        shift 2
        ;;
    --)
        shift
        break
        ;;
    *) echo "quick.sh: unknown option $1"; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "quick.sh: no command"; exit 2; }

"$@" >"$work/output" 2>&1
status=$?
cat "$work/output"
echo "---"
[ "$status" -eq 0 ] || { echo "FAIL: $1 ended with code $status"; exit 1; }
if grep -q 'ERROR OCCURRED' "$work/output"; then
    echo "FAIL: a benchmark ended in an error"
    exit 1
fi
result=0
while IFS= read -r form; do
    if grep -Eq "^($form)\$" "$work/output"; then
        echo "found: $form"
    else
        echo "FAIL: no line of the form $form"
        result=1
    fi
done <"$work/expected"
exit $result
