#!/bin/sh
# Start-up time, exec to first frame, of the Linux intro (SDL's dummy audio
# driver) and of the Windows one under Wine, on one private 800x600 Xvfb
# screen: RUNS starts of each, taken in turn; the first frame is the first
# screen grab whose letterbox band is not black (window-probe shown: a grab
# every 10 ms, so each figure is late by up to that and one grab). Every
# Wine start has a fresh server in the shared prefix (made first when it
# does not exist, about 10 s, not counted).
#   startup_bench.sh PROBE WERULE WERULE_EXE PREFIX [--quick] [RUNS] [linux] [wine]
# --quick: one start of each (a few seconds), the same lines. linux and wine
# choose the systems (by default both; Wine only when WERULE_EXE exists,
# else a note). Prints
#   Linux first frame (ms): MS...
#   Wine first frame (ms): MS...
# and exits 1 when a start shows no frame within 60 s, or a chosen system
# cannot run.
set -u
probe=$1
werule=$2
exe=$3
export WINEPREFIX=$4
shift 4
runs=5
systems=
for argument in "$@"; do
    case $argument in
    --quick) runs=1 ;;
    linux | wine) systems="$systems $argument" ;;
    *[!0-9]* | "") echo "startup_bench.sh: unknown argument $argument"; exit 2 ;;
    *) runs=$argument ;;
    esac
done
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
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/../../tests/e2e/lib.sh"

if [ -z "$systems" ]; then
    systems=linux
    if [ -f "$exe" ]; then
        systems="$systems wine"
    else
        echo "no $exe (make windows builds it): Wine not measured"
    fi
fi
for system in $systems; do
    case $system in
    linux) [ -x "$werule" ] || fail "no $werule" ;;
    wine)
        [ -f "$exe" ] || fail "no $exe (make windows builds it)"
        [ -x "$wine" ] || fail "no Wine"
        ;;
    esac
done

start_xvfb 800x600x24

# Prints the milliseconds from starting "$@" to its first frame, or
# "timeout".
first_frame() {
    "$probe" shown 100 60 >"$work/shown" 2>/dev/null &
    probe_pid=$!
    sleep 0.2  # the probe connects and sees the screen still black
    start=$(now_ms)
    "$@" >/dev/null 2>&1 &
    pid=$!
    took=timeout
    if wait "$probe_pid"; then
        took=$(( $(cat "$work/shown") - start ))
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    "$wineserver" -k 2>/dev/null
    while "$probe" find ":: We rule ::" >/dev/null; do sleep 0.1; done
    echo "$took"
}

case " $systems " in
*" wine "*)
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1 || fail "no Wine prefix"
    "$wineserver" -k 2>/dev/null
    ;;
esac
linux=""
windows=""
i=0
while [ $i -lt "$runs" ]; do
    i=$((i + 1))
    for system in $systems; do
        case $system in
        linux) linux="$linux $(SDL_AUDIODRIVER=dummy first_frame "$werule")" ;;
        wine) windows="$windows $(first_frame "$wine" "$exe")" ;;
        esac
    done
done
status=0
for system in $systems; do
    case $system in
    linux) echo "Linux first frame (ms):$linux" ;;
    wine) echo "Wine first frame (ms):$windows" ;;
    esac
done
case "$linux $windows" in *timeout*) echo "FAIL: a start showed no frame within 60 s"; status=1 ;; esac
exit $status
