#!/bin/sh
# bench-sync: the flash on screen against the cue's sound through a real
# PulseAudio server, end to end. Runs the real intro under a private Xvfb,
# playing through SDL's pulseaudio driver into a private PulseAudio server
# with a null sink, records the sink's monitor with parec, and lets
# sync-analyse say how far each flash and the end came from their sound.
#   bench_sync.sh WERULE SYNC_WATCH SYNC_ANALYSE
# Prints nothing but a note when pulseaudio, parec, pactl or Xvfb is
# missing. SYNC_KEEP=1 leaves the run's folder in place and names it.
set -u

werule=$1
watch=$2
analyse=$3
here=$(cd "$(dirname "$0")" && pwd)

for tool in pulseaudio parec pactl Xvfb xdpyinfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "bench-sync: $tool is not installed; nothing measured"
        exit 0
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-sync.XXXXXX")
xvfb_pid=
pulse_pid=
parec_pid=
watch_pid=
show_pid=
stop() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    stop "$show_pid"
    stop "$parec_pid"
    stop "$watch_pid"
    stop "$pulse_pid"
    stop_xvfb
    if [ -n "${SYNC_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "bench-sync: $*"
    for log in pulse show; do
        [ -s "$work/$log.log" ] && { echo "--- $log.log"; tail -n 20 "$work/$log.log"; }
    done
    exit 1
}

now() { date +%s; }

. "$here/../../tests/e2e/xvfb.sh"
start_xvfb 800x600x24

# A server of our own: its sockets and cookie under $work, nothing shared.
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" LC_ALL=C
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
unset PULSE_SERVER PULSE_SINK
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --load="module-null-sink sink_name=show" --load=module-native-protocol-unix \
    >"$work/pulse.log" 2>&1 &
pulse_pid=$!
i=0
until pactl info >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "the PulseAudio server did not start"
    kill -0 "$pulse_pid" 2>/dev/null || fail "the PulseAudio server ended"
    sleep 0.1
done

# The monitor, recorded in small fragments so that reads follow the sink.
mkfifo "$work/monitor"
"$watch" "$work" <"$work/monitor" &
watch_pid=$!
parec -d show.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=2 \
    >"$work/monitor" 2>"$work/parec.log" &
parec_pid=$!
sleep 1

# Latencies as the server reports them while the intro plays: the
# recording stream's buffer, and the intro's stream (buffer and sink).
sample_latencies() {
    pactl list source-outputs | awk '/Buffer Latency:/ { print "recbuffer", $3 }'
    pactl list sink-inputs | awk '/Buffer Latency:/ { b = $3 } /Sink Latency:/ { print "input", b, $3 }'
}

SDL_AUDIODRIVER=pulseaudio "$werule" >"$work/show.log" 2>&1 &
show_pid=$!
started=$(now)
while kill -0 "$show_pid" 2>/dev/null; do
    [ $(($(now) - started)) -gt 180 ] && fail "the intro still runs 180 s after start"
    sample_latencies >>"$work/latency.txt" 2>/dev/null
    sleep 0.5
done
wait "$show_pid"
status=$?
show_pid=
[ "$status" = 0 ] || fail "the intro ended with code $status"
sleep 0.5
stop "$parec_pid"
parec_pid=
wait "$watch_pid"
watch_pid=
stop "$pulse_pid"
pulse_pid=
stop_xvfb
"$analyse" "$work" pulseaudio || fail "no figures"
