#!/bin/sh
# The real intro under a private Xvfb display, with SDL's disk or dummy audio.
# PROBE is show-screen-probe, which watches a part of the display.
#   e2e_show.sh PROBE WERULE fullshow  the whole show on the disk driver: it
#       ends by itself with code 0 143 to 147 s after start, the picture turns
#       white at the first flash (about 74.4 s) and the disk output is music
#   e2e_show.sh PROBE WERULE lost  the whole show through SDL's pulseaudio
#       driver into a PulseAudio server of its own, killed 5 s in: the show
#       goes on silent and still ends by itself with code 0 143 to 147 s
#       after start, the picture turning white at the first flash
#   e2e_show.sh PROBE WERULE nodriver  no usable audio driver: the show still
#       starts, draws, and ends on Esc with code 0
#   e2e_show.sh PROBE WERULE tsan      20 s of a ThreadSanitizer build, then
#       Esc: no report, code 0
#   e2e_show.sh PROBE WERULE asan      the whole show of an Address- and
#       UndefinedBehaviorSanitizer build: no report, code 0
# CTest runs the sanitizer cases through tests/run-if-built.sh, which skips
# them when that tree has not built WERULE.
set -u

probe=$1
werule=$2
mode=$3
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-e2e.XXXXXX")
xvfb_pid=
show_pid=
pulse_pid=
cleanup() {
    [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- intro's output:"; tail -n 60 "$work/show.log" 2>/dev/null
    exit 1
}

# Arithmetic and comparisons of decimals.
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }
is() { [ "$(awk "BEGIN { print ($*) ? 1 : 0 }")" = 1 ]; }
# Seconds since the epoch with milliseconds.
now() { date +%s.%N | cut -c1-14; }
# Seconds from $1 to now.
since() { calc "$(now) - $1"; }
# Sleeps until $1 seconds after time $2.
sleep_until() { d=$(calc "$2 + $1 - $(now)"); if is "$d > 0"; then sleep "$d"; fi; }

# A display of our own.
. "$here/../e2e/lib.sh"
start_xvfb 800x600x24

start_show() {
    started=$(now)
    "$werule" >"$work/show.log" 2>&1 &
    show_pid=$!
}

# Waits up to $1 seconds for the intro to end; sets status, ended (seconds
# after start) and clears show_pid. False when it is still running.
wait_show() {
    limit=$(calc "$started + $1")
    while kill -0 "$show_pid" 2>/dev/null; do
        is "$(now) > $limit" && return 1
        sleep 0.1
    done
    wait "$show_pid"
    status=$?
    ended=$(since "$started")
    show_pid=
    return 0
}

# The highest mean grey level (0 to 1) over $1 seconds of the left side
# panel's area inside the letterbox band, which the flash turns white, or
# of the whole band.
side_level() { "$probe" "$1" 10 150 150 300 | awk '{ print $4 }'; }
band_level() { "$probe" "$1" 0 100 800 400 | awk '{ print $4 }'; }

press_escape() {
    window=$(xdotool search --sync --name "We rule" 2>/dev/null | head -n 1)
    [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool keydown Escape; sleep 0.3; xdotool keyup Escape
}

# Fails on any sanitizer report in the intro's output.
no_reports() {
    if grep -E "WARNING: ThreadSanitizer|ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:" \
        "$work/show.log" >/dev/null; then
        fail "sanitizer report"
    fi
}

# The test's own PulseAudio server (lib.sh), with a client that keeps the
# sink's latency to a sound card's; sets pulse_pid.
start_sink() {
    for tool in pulseaudio pactl parec; do
        command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
    done
    private_sound
    start_pulse
    # A null sink with no client that asks for less holds 2 s, far more
    # than a sound card; a recording of its monitor at 20 ms brings it down
    # to a card's latency. It ends with the server.
    parec -d werule.monitor --latency-msec=20 --raw >/dev/null 2>&1 &
}

# The whole show of the intro started by start_show: dark at 59 s, white at
# the first flash cue, which comes about 74.4 s into the music (the music
# starts a moment after the process, so watching from 73 to 79 s catches
# it), and its end by itself with 0, 143 to 147 s after start.
flash_and_end() {
    sleep_until 59 "$started"
    before=$(side_level 1)
    sleep_until 73 "$started"
    brightest=$(side_level 6)
    wait_show 150 || fail "still running 150 s after start"
    [ "$status" = 0 ] || fail "exit code $status"
    echo "ended by itself after $ended s"
    echo "side panel grey: at most $before from 59 to 60 s, at most $brightest from 73 to 79 s"
    is "$ended >= 143 && $ended <= 147" || fail "ended after $ended s, not 143 to 147"
    is "$before < 0.5" || fail "white before any flash"
    is "$brightest > 0.8" || fail "no flash between 73 and 79 s"
}

case "$mode" in
lost)
    start_sink
    export SDL_AUDIODRIVER=pulseaudio
    start_show
    sleep_until 5 "$started"
    kill -9 "$pulse_pid"; wait "$pulse_pid" 2>/dev/null; pulse_pid=
    echo "sound server killed $(since "$started") s after start"
    flash_and_end
    ;;
fullshow)
    export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/music.raw"
    start_show
    flash_and_end
    rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$work/music.raw" -n stat 2>&1 |
        awk '/RMS     amplitude/ { print $3 }')
    seconds=$(( $(stat -c %s "$work/music.raw") / 176400 ))
    echo "disk output: $seconds s, RMS amplitude $rms"
    # A driver that falls behind real time loses frames, never time (the
    # sound layer keeps the music on the clock), so the file may be short.
    [ "$seconds" -ge 72 ] || fail "only $seconds s of sound written"
    is "$rms > 0.01" || fail "the disk output is silent"
    ;;
nodriver)
    export SDL_AUDIODRIVER=no-such-driver
    start_show
    sleep_until 4 "$started"
    level=$(band_level 0.5)
    echo "picture grey level after 4 s: $level"
    is "$level > 0.02" || fail "nothing drawn"
    kill -0 "$show_pid" 2>/dev/null || fail "ended before Esc"
    press_escape
    wait_show 10 || fail "still running after Esc"
    echo "ended on Esc with code $status"
    [ "$status" = 0 ] || fail "exit code $status"
    ;;
tsan)
    export SDL_AUDIODRIVER=dummy
    export TSAN_OPTIONS="halt_on_error=0 exitcode=66 suppressions=$here/tsan.supp ${TSAN_OPTIONS:-}"
    start_show
    sleep_until 20 "$started"
    kill -0 "$show_pid" 2>/dev/null || fail "ended before Esc"
    press_escape
    wait_show 60 || fail "still running after Esc"
    echo "ended on Esc with code $status after $ended s"
    no_reports
    [ "$status" = 0 ] || fail "exit code $status"
    ;;
asan)
    export SDL_AUDIODRIVER=dummy
    export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
    # Libraries stay mapped to the end (keep_libraries.c), so that leaks of
    # system libraries carry names that lsan.supp can match.
    if [ -n "${WERULE_KEEP_LIBRARIES:-}" ]; then
        export LD_PRELOAD="$WERULE_KEEP_LIBRARIES"
        export ASAN_OPTIONS="verify_asan_link_order=0 $ASAN_OPTIONS"
    fi
    export LSAN_OPTIONS="suppressions=$here/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
    export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
    start_show
    wait_show 200 || fail "still running 200 s after start"
    echo "ended by itself with code $status after $ended s"
    no_reports
    [ "$status" = 0 ] || fail "exit code $status"
    ;;
*)
    echo "unknown mode $mode"; exit 2 ;;
esac
echo "PASS"
exit 0
