#!/bin/sh
# Many exits in a row while the music plays: each run starts the intro on a
# private Xvfb display with a PulseAudio null sink of its own, holds Esc
# about a second after the first frame, and must end with exit code 0 and
# no crash report, while its timer, sound thread and device still run.
#   exits.sh PROBE WERULE RUNS          the Linux intro (any build tree's:
#                                       the AddressSanitizer one reports too)
#   exits.sh PROBE WERULE.EXE RUNS PREFIX  the Windows one under Wine
# Prints one line a run and then "exits: N, crashes: K".
set -u

probe=$1
program=$2
runs=$3
prefix=${4:-}
[ -f "$program" ] || { echo "no $program: skipped"; exit 77; }
command -v pulseaudio >/dev/null && command -v pactl >/dev/null ||
    { echo "no pulseaudio or pactl: skipped"; exit 77; }
wine=
if [ -n "$prefix" ]; then
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    [ -x "$wine" ] || { echo "no Wine: skipped"; exit 77; }
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fi

# Leaks at exit are the AddressSanitizer whole show's to check; here a
# sanitizer build reports what goes wrong while the process ends.
export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 ${UBSAN_OPTIONS:-}"

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-exits.XXXXXX")
xvfb_pid=
show_pid=
pulse_pid=
cleanup() {
    [ -n "$show_pid" ] && kill -9 "$show_pid" 2>/dev/null
    [ -n "$wine" ] && "$wineserver" -k 2>/dev/null
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- output:"; tail -n 40 "$work/show.log" 2>/dev/null
    exit 1
}

. "$(dirname "$0")/lib.sh"

private_sound
start_pulse
start_xvfb 800x600x24
if [ -n "$wine" ] && [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
    "$wineserver" -w
fi

# A crash: any exit code but 0 (a signal's, or the one Wine gives an
# unhandled exception), Wine's or a sanitizer's report.
crashed() {
    [ "$status" -ne 0 ] && return 0
    grep -E "Unhandled (page fault|exception)|Segmentation fault|ERROR: AddressSanitizer|WARNING: ThreadSanitizer|runtime error:" \
        "$work/show.log" >/dev/null
}

crashes=0
run=0
while [ "$run" -lt "$runs" ]; do
    run=$((run + 1))
    if [ -n "$wine" ]; then
        "$wine" "$program" >"$work/show.log" 2>&1 &
    else
        SDL_AUDIODRIVER=pulseaudio "$program" >"$work/show.log" 2>&1 &
    fi
    show_pid=$!
    wait_window 300
    # A second of the show after its first frame, then Esc.
    i=0
    until set -- $("$probe" bands 100 2>/dev/null || echo 0 0 0) && awk "BEGIN { exit !($3 > 2) }"; do
        i=$((i + 1)); [ $i -gt 300 ] && fail "run $run: nothing drawn"
        sleep 0.1
    done
    sleep 1
    xdotool windowfocus --sync "$window_id" 2>/dev/null
    xdotool keydown Escape; sleep 0.1; xdotool keyup Escape
    wait_end 300 || fail "run $run: still running 30 s after Esc"
    if crashed; then
        crashes=$((crashes + 1))
        echo "run $run: CRASH, exit code $status"
        cp "$work/show.log" "$work/crash-$run.log"
        tail -n 20 "$work/show.log"
    else
        echo "run $run: exit code $status"
    fi
    # The next run finds no window of this one.
    if [ -n "$wine" ]; then "$wineserver" -w; fi
    while "$probe" find ":: We rule ::" >/dev/null; do sleep 0.1; done
done
echo "exits: $run, crashes: $crashes"
[ "$crashes" -eq 0 ]
