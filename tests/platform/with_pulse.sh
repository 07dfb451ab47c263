#!/bin/sh
# with_pulse.sh [--pipewire] COMMAND...: runs COMMAND with
# SDL_AUDIODRIVER=pulseaudio against a private PulseAudio server with a
# null sink (its sockets under a folder of its own), or with --pipewire
# against a private PipeWire through its PulseAudio interface, then stops
# that server by its process id. COMMAND gets the process id of the server
# it talks to as WERULE_PULSE_PID (to kill on purpose) and the server's
# name as WERULE_SOUND_SERVER. Exit code 77 (skipped) when the server is
# not installed.
set -u
server=pulseaudio
if [ "${1:-}" = --pipewire ]; then
    server=pipewire
    shift
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/werule-pulse.XXXXXX")
pulse_pid=
sound_pids=
fail() {
    echo "$*"
    for log in pulse pipewire; do
        [ -s "$work/$log.log" ] && tail -n 20 "$work/$log.log"
    done
    exit 1
}
cleanup() {
    [ -n "$pulse_pid" ] && { kill "$pulse_pid" 2>/dev/null; wait "$pulse_pid" 2>/dev/null; }
    stop_pipewire
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
. "$(dirname "$0")/../e2e/lib.sh"
private_sound
if [ "$server" = pipewire ]; then
    pipewire_installed || { echo "PipeWire is not installed (tools/install-deps.sh --pipewire)"; exit 77; }
    start_pipewire werule
else
    for tool in pulseaudio pactl; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed"; exit 77; }
    done
    start_pulse
fi
WERULE_PULSE_PID=$pulse_pid WERULE_SOUND_SERVER=$server SDL_AUDIODRIVER=pulseaudio "$@"
