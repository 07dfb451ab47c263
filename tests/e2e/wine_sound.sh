#!/bin/sh
# The Windows build's sound under Wine, with a PulseAudio null sink of the
# test's own or with no sound server at all.
#   wine_sound.sh PROBE SCREEN_PROBE EXE PREFIX CASE
# PROBE is window-probe, SCREEN_PROBE show-screen-probe; PREFIX is the Wine
# prefix the Wine tests share. CASE:
#   layer      EXE is test-platform-win32-sound.exe; with a server: waveOut
#              opens and the layer's checks pass (MEASURE_SECONDS=145 then
#              follows a whole show's length and sums up how far the
#              position trails the device)
#   layer-lost as layer, and the server is killed when the test asks: the
#              layer gives the device up and keeps the music on time
#   layer-nodevice  the same with no server: waveOut fails, the steady clock
#              stands in, the checks pass
#   fullshow   EXE is werule.exe on the null sink: its picture stops by
#              itself 143 to 147 s after its window appeared, the window
#              then closes and the process ends with 0, the picture turns
#              white at the first flash (about 74.4 s) and the sink's
#              monitor records music
#   nodevice   werule.exe with no server: it draws, flashes at the first
#              cue and ends on Esc with 0
# With WERULE_SOUND_SERVER=pipewire the server is a private PipeWire with
# its PulseAudio interface (which Wine talks to) instead of PulseAudio;
# skipped where PipeWire is not installed.
set -u

probe=$1
screen_probe=$2
exe=$3
prefix=$4
case_name=$5
[ -f "$exe" ] || { echo "no $exe (make windows builds it): skipped"; exit 77; }
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] || { echo "no Wine: skipped"; exit 77; }
command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
    { echo "no pulseaudio or parec: skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-winesound.XXXXXX")
xvfb_pid=
show_pid=
pulse_pid=
parec_pid=
cleanup() {
    [ -n "$show_pid" ] && kill -9 "$show_pid" 2>/dev/null
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
    [ -n "$parec_pid" ] && kill "$parec_pid" 2>/dev/null
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
    stop_pipewire
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- output:"; tail -n 40 "$work/show.log" 2>/dev/null
    echo "--- pulseaudio:"; tail -n 20 "$work/pulse.log" 2>/dev/null
    exit 1
}
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }
is() { [ "$(awk "BEGIN { print ($*) ? 1 : 0 }")" = 1 ]; }
now() { date +%s.%N | cut -c1-14; }
since() { calc "$(now) - $1"; }
sleep_until() { d=$(calc "$2 + $1 - $(now)"); if is "$d > 0"; then sleep "$d"; fi; }

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
. "$(dirname "$0")/lib.sh"
private_sound
if [ "${WERULE_SOUND_SERVER:-}" = pipewire ]; then
    pipewire_installed || { echo "PipeWire is not installed: skipped"; exit 77; }
    start_pulse() { start_pipewire werule; }
fi

make_prefix() {
    [ -f "$prefix/system.reg" ] && return
    mkdir -p "$prefix"
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(cat "$work/wineboot.log")"
    "$wineserver" -w
}

start_show() {
    started=$(now)
    "$wine" "$exe" >"$work/show.log" 2>&1 &
    show_pid=$!
}

# Waits up to 30 s for the intro's window; resets started to that moment.
wait_window() {
    i=0
    while ! "$probe" find ":: We rule ::" >/dev/null; do
        i=$((i + 1)); [ $i -gt 300 ] && fail "no window titled ':: We rule ::'"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before its window appeared"
        sleep 0.1
    done
    started=$(now)
}

# Waits up to $1 seconds after started for the intro to end; sets status and
# ended (seconds after started). False when it still runs.
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

# The highest mean grey level over $1 seconds of the left side panel, which
# the flash turns white; of the whole band.
side_level() { "$screen_probe" "$1" 10 150 150 300 | awk '{ print $4 }'; }
band_level() { "$screen_probe" "$1" 0 100 800 400 | awk '{ print $4 }'; }

# The first flash cue is about 74.4 s into the music: the side panel stays
# dark at 59 s and turns white between 73 and 79 s.
first_flash() {
    sleep_until 59 "$started"
    before=$(side_level 1)
    sleep_until 73 "$started"
    brightest=$(side_level 6)
    echo "side panel grey: at most $before from 59 to 60 s, at most $brightest from 73 to 79 s"
    is "$before < 0.5" || fail "white before any flash"
    is "$brightest > 0.8" || fail "no flash between 73 and 79 s"
}

case "$case_name" in
layer)
    start_pulse
    make_prefix
    "$wine" "$exe" device ${MEASURE_SECONDS:-} >"$work/show.log" 2>&1
    status=$?
    cat "$work/show.log"
    [ "$status" -eq 0 ] || fail "exit code $status"
    ;;
layer-lost)
    start_pulse
    make_prefix
    started=$(now)
    "$wine" "$exe" lost >"$work/show.log" 2>&1 &
    show_pid=$!
    i=0
    until grep -q "lose the device now" "$work/show.log"; do
        i=$((i + 1)); [ $i -gt 600 ] && fail "the test never asked for the device to go"
        kill -0 "$show_pid" 2>/dev/null || fail "the test ended before it asked"
        sleep 0.1
    done
    kill -9 "$pulse_pid"
    wait "$pulse_pid" 2>/dev/null
    pulse_pid=
    wait_show 120 || fail "still running 120 s after start"
    cat "$work/show.log"
    [ "$status" -eq 0 ] || fail "exit code $status"
    ;;
layer-nodevice)
    make_prefix
    "$wine" "$exe" nodevice >"$work/show.log" 2>&1
    status=$?
    cat "$work/show.log"
    [ "$status" -eq 0 ] || fail "exit code $status"
    ;;
fullshow)
    start_pulse
    start_xvfb 800x600x24
    make_prefix
    # One rasteriser thread: the intro draws without pause, and with
    # llvmpipe's threads on every core Wine's sound threads wait their turn,
    # the sink runs dry and the music, with the show, falls behind the clock.
    export LP_NUM_THREADS=1
    parec -d werule.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/music.raw" \
        2>"$work/parec.log" &
    parec_pid=$!
    start_show
    wait_window
    # What start-up does after the window opens (font, textures, mesh, sound)
    # comes before the music: told, not held to a time.
    until is "$(band_level 0.05) > 0.02"; do
        kill -0 "$show_pid" 2>/dev/null || fail "ended before drawing"
    done
    echo "first frame $(since "$started") s after the window appeared"
    first_flash
    # The show ends when its picture stops: Wine then takes a while more to
    # take the window down (without a window manager, 2 s in DestroyWindow)
    # and to end the process, which is not the show's time.
    sleep_until 138 "$started"
    last=$("$probe" still 1 20) || fail "the picture still moves 158 s after the window appeared"
    stopped=$(calc "$last - $started")
    limit=$(calc "$started + 170")
    while "$probe" find ":: We rule ::" >/dev/null; do
        is "$(now) > $limit" && fail "the picture stopped at $stopped s but the window stays"
        sleep 0.05
    done
    closed=$(since "$started")
    wait_show 175 || fail "the window closed at $closed s but the process still runs"
    [ "$status" = 0 ] || fail "exit code $status"
    echo "ended by itself: the picture stopped $stopped s, the window closed $closed s and" \
        "the process ended $ended s after the window appeared"
    is "$stopped >= 143 && $stopped <= 147" || fail "the picture stopped after $stopped s, not 143 to 147"
    kill "$parec_pid"; wait "$parec_pid" 2>/dev/null; parec_pid=
    rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$work/music.raw" -n stat 2>&1 |
        awk '/RMS     amplitude/ { print $3 }')
    seconds=$(( $(stat -c %s "$work/music.raw") / 176400 ))
    echo "sink monitor: $seconds s recorded, RMS amplitude $rms"
    [ "$seconds" -ge 140 ] || fail "only $seconds s recorded"
    is "$rms > 0.01" || fail "the sink heard silence"
    ;;
nodevice)
    start_xvfb 800x600x24
    make_prefix
    start_show
    wait_window
    sleep_until 4 "$started"
    level=$(band_level 0.5)
    echo "picture grey level after 4 s: $level"
    is "$level > 0.02" || fail "nothing drawn"
    first_flash
    kill -0 "$show_pid" 2>/dev/null || fail "ended before Esc"
    window=$(xdotool search --sync --name "We rule" 2>/dev/null | head -n 1)
    [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool keydown Escape; sleep 0.3; xdotool keyup Escape
    wait_show 100 || fail "still running after Esc"
    echo "ended on Esc with code $status"
    [ "$status" = 0 ] || fail "exit code $status"
    ;;
*)
    echo "unknown case $case_name"; exit 2 ;;
esac
echo "PASS: $case_name"
