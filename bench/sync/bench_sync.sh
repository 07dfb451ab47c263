#!/bin/sh
# bench-sync: the flash on screen against the cue's sound through a real
# sound server, end to end. Runs the real intro under a private Xvfb,
# playing into a private server with a null sink, records the sink's
# monitor with parec, and lets sync-analyse say how far each flash and the
# end came from their sound. Two servers, each when installed:
#   pulseaudio  PulseAudio, the intro on SDL's pulseaudio driver;
#   pipewire    PipeWire with WirePlumber and its PulseAudio interface (and
#               a private D-Bus, which WirePlumber needs), the intro on
#               SDL's own choice of driver, the graph held at 44.1 kHz.
#   bench_sync.sh WERULE SYNC_WATCH SYNC_ANALYSE [--quick] [SERVER...]
# Prints a note for a server whose programs are missing. SYNC_KEEP=1
# leaves each run's folder in place and names it.
#
# --quick: the same pipeline on the show's first seconds (about 15 s a
# server): the intro plays through the server for 9 s, Esc held in its
# window (xdotool) ends it, and sync-analyse --quick aligns the recording
# with the offline render at the rows of each whole second from 5 s on,
# as it does each cue, and says when each left the sink. It checks that
# the recording, the alignment and the dating work; it measures no flash
# (the first comes at 74 s), so its SYNC line reads cues 0, and nothing of
# how the flashes or the end meet their sound.
set -u

werule=$1
watch=$2
analyse=$3
here=$(cd "$(dirname "$0")" && pwd)

shift 3
quick=
if [ "${1:-}" = --quick ]; then
    quick=--quick
    shift
fi
servers=${*:-pulseaudio pipewire}
here_tools="parec pactl Xvfb xdpyinfo"
[ -n "$quick" ] && here_tools="$here_tools xdotool"
# Quick mode: seconds of show before Esc.
QUICK_SECONDS=9

# Runs the intro once through server $1 and prints the figures; false on
# a failure. Every process it starts it stops by its id.
measure() {
    server=$1
    work=$(mktemp -d "${TMPDIR:-/tmp}/werule-sync.XXXXXX")
    (
        xvfb_pid=
        server_pids=
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
            for pid in $server_pids; do stop "$pid"; done
            stop_pipewire
            stop_xvfb
        }
        trap cleanup EXIT
        trap 'exit 1' INT TERM
        fail() {
            echo "bench-sync ($server): $*"
            for log in server pipewire show; do
                [ -s "$work/$log.log" ] && { echo "--- $log.log"; tail -n 20 "$work/$log.log"; }
            done
            exit 1
        }
        now() { date +%s; }
        wait_for() {
            i=0
            until eval "$1" >/dev/null 2>&1; do
                i=$((i + 1)); [ $i -gt 100 ] && fail "$2"
                sleep 0.1
            done
        }

        . "$here/../../tests/e2e/lib.sh"
        start_xvfb 800x600x24

        # A server of our own: sockets and cookie under $work, nothing shared.
        export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" LC_ALL=C
        mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
        unset PULSE_SERVER PULSE_SINK SDL_AUDIODRIVER
        case $server in
        pulseaudio)
            pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
                --load="module-null-sink sink_name=show" --load=module-native-protocol-unix \
                >"$work/server.log" 2>&1 &
            server_pids=$!
            wait_for "pactl info" "the PulseAudio server did not start"
            driver=pulseaudio
            export SDL_AUDIODRIVER=pulseaudio
            ;;
        pipewire)
            start_pipewire show
            driver=
            ;;
        esac

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
            pactl list sink-inputs |
                awk '/Buffer Latency:/ { b = $3 } /Sink Latency:/ { print "input", b, $3 }'
        }

        "$werule" >"$work/show.log" 2>&1 &
        show_pid=$!
        started=$(now)
        escaped=
        while kill -0 "$show_pid" 2>/dev/null; do
            [ $(($(now) - started)) -gt 180 ] && fail "the intro still runs 180 s after start"
            if [ -n "$quick" ] && [ -z "$escaped" ] &&
                [ $(($(now) - started)) -ge $QUICK_SECONDS ]; then
                window=$(xdotool search --name ':: We rule ::' | head -n 1)
                [ -n "$window" ] || fail "no window titled ':: We rule ::'"
                xdotool windowfocus --sync "$window" && xdotool keydown Escape
                sleep 0.1
                xdotool keyup Escape
                escaped=yes
            fi
            sample_latencies >>"$work/latency.txt" 2>/dev/null
            # Which interface the intro's stream came through, on SDL's own choice.
            [ -n "$driver" ] || driver=$(pactl list sink-inputs 2>/dev/null |
                awk -F'"' '/client.api = / { print "default-" $2; exit }')
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
        "$analyse" "$work" "$server:${driver:-unknown}" $quick || fail "no figures"
    )
    result=$?
    if [ -n "${SYNC_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
    return $result
}

status=0
for server in $servers; do
    case $server in
    pulseaudio) needs="pulseaudio $here_tools" ;;
    pipewire) needs="pipewire wireplumber pipewire-pulse pw-metadata dbus-daemon $here_tools" ;;
    *) echo "bench-sync: unknown server $server"; status=1; continue ;;
    esac
    missing=
    for tool in $needs; do
        command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
    done
    if [ -n "$missing" ]; then
        echo "bench-sync: $server not measured, not installed:$missing"
        continue
    fi
    echo "--- $server"
    measure "$server" || status=1
done
exit $status
