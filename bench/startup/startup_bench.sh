#!/bin/sh
# Start-up time, exec to first frame, of the Linux intro and of the Windows
# one under Wine, on one private 800x600 Xvfb screen: RUNS starts of each,
# taken in turn; the first frame is the first screen grab whose letterbox
# band is not black (grabs about every 30 ms, so each figure is late by up
# to one grab). Every Wine start has a fresh server in the shared prefix.
#   startup_bench.sh PROBE WERULE WERULE_EXE PREFIX [RUNS]
set -u
probe=$1
werule=$2
exe=$3
export WINEPREFIX=$4
runs=${5:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/werule-startup.XXXXXX")
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && "$wineserver" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
. "$(dirname "$0")/../../tests/e2e/xvfb.sh"
start_xvfb 800x600x24

# Prints the milliseconds from starting "$@" to its first frame.
first_frame() {
    start=$(now_ms)
    "$@" >/dev/null 2>&1 &
    pid=$!
    took=timeout
    while [ $(( $(now_ms) - start )) -lt 60000 ]; do
        set -- $("$probe" bands 100 2>/dev/null || echo 0 0 0)
        if awk "BEGIN { exit !($3 > 2) }"; then took=$(( $(now_ms) - start )); break; fi
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    "$wineserver" -k 2>/dev/null
    while "$probe" find ":: We rule ::" >/dev/null; do sleep 0.1; done
    echo "$took"
}

[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1 || fail "no Wine prefix"
"$wineserver" -k 2>/dev/null
linux=""
windows=""
i=0
while [ $i -lt "$runs" ]; do
    i=$((i + 1))
    [ -x "$werule" ] && linux="$linux $(SDL_AUDIODRIVER=dummy first_frame "$werule")"
    [ -f "$exe" ] && windows="$windows $(first_frame "$wine" "$exe")"
done
echo "Linux first frame (ms):$linux"
echo "Wine first frame (ms):$windows"
