#!/bin/sh
# with_pulse.sh COMMAND...: runs COMMAND with SDL_AUDIODRIVER=pulseaudio
# against a private PulseAudio server with a null sink (its sockets under a
# folder of its own), then stops that server by its process id (passed to
# COMMAND as WERULE_PULSE_PID). Exit code
# 77 (skipped) when pulseaudio or pactl is not installed.
set -u
for tool in pulseaudio pactl; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/werule-pulse.XXXXXX")
pulse_pid=
cleanup() {
    [ -n "$pulse_pid" ] && { kill "$pulse_pid" 2>/dev/null; wait "$pulse_pid" 2>/dev/null; }
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
unset PULSE_SERVER PULSE_SINK
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --load="module-null-sink sink_name=show" --load=module-native-protocol-unix \
    >"$work/pulse.log" 2>&1 &
pulse_pid=$!
i=0
until pactl info >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$pulse_pid" 2>/dev/null; then
        echo "the PulseAudio server did not start:"; cat "$work/pulse.log"; exit 1
    fi
    sleep 0.1
done
# The server's process id, for a test that kills it on purpose.
WERULE_PULSE_PID=$pulse_pid SDL_AUDIODRIVER=pulseaudio "$@"
