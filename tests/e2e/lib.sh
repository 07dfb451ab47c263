# Sourced by the end-to-end scripts: what they share. The script defines
# fail() and $work (a scratch folder), and sets show_pid when it starts the
# intro.
#
# start_xvfb SCREEN starts a private Xvfb
# with that screen (e.g. 800x600x24), which picks a free display number and
# writes it to fd 3; sets xvfb_pid and exports DISPLAY once a client can
# connect. stop_xvfb stops it. Needs $work (a scratch folder) and fail().
# -noreset: by default the server resets when its last client leaves, and
# refuses a client that connects meanwhile; the probes come and go.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    i=0
    while [ ! -s "$work/display" ]; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start: $(cat "$work/xvfb.log")"
        sleep 0.1
    done
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
    # A client must get in before the test goes on.
    i=0
    until xdpyinfo >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb on $DISPLAY takes no client: $(cat "$work/xvfb.log")"
        sleep 0.1
    done
}

# Stops the Xvfb that start_xvfb started and waits until it has gone, so
# that its display number is free again before another test takes one.
stop_xvfb() {
    [ -n "${xvfb_pid:-}" ] || return 0
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Waits up to $1 tenths of a second for the intro (show_pid) to end; sets
# status and clears show_pid. False when it is still running.
wait_end() {
    i=0
    while kill -0 "$show_pid" 2>/dev/null; do
        i=$((i + 1)); [ "$i" -gt "$1" ] && return 1
        sleep 0.1
    done
    wait "$show_pid"
    status=$?
    show_pid=
    return 0
}

# Waits up to $1 tenths of a second for the intro's window, as PROBE (the
# window probe, $probe) finds it; sets window_id and geometry.
wait_window() {
    i=0
    while ! found=$("$probe" find ":: We rule ::"); do
        i=$((i + 1)); [ $i -gt "$1" ] && fail "no window titled ':: We rule ::'"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before its window appeared"
        sleep 0.1
    done
    window_id=${found%% *}
    geometry=${found#* }
}

# Gives window $1 the keyboard and types key $2 in it.
press_in() {
    xdotool windowfocus --sync "$1" && xdotool key "$2"
}

# After some frames have drawn, holds Esc for 100 ms in the intro's window
# (window_id), as a person presses it; the intro must then end with 0
# within $1 tenths of a second. Prints the time it took.
hold_escape_to_end() {
    sleep 3
    start=$(now_ms)
    xdotool windowfocus --sync "$window_id" && xdotool keydown Escape
    sleep 0.1
    xdotool keyup Escape
    wait_end "$1" || fail "still running $(($1 / 10)) s after Esc"
    [ "$status" -eq 0 ] || fail "exit code $status after Esc"
    echo "Esc ended the intro in $(( $(now_ms) - start )) ms"
}

# The letterbox as the window probe reads the screen: the top and the bottom
# $1 rows black, the band between them showing the scene.
expect_letterbox() {
    set -- $("$probe" bands "$1")
    echo "brightest top $1, brightest bottom $2, mean of the band $3"
    [ "$1" -eq 0 ] && [ "$2" -eq 0 ] || fail "the letterbox strips are not black"
    awk "BEGIN { exit !($3 > 2) }" || fail "the band shows nothing"
}

# Sound clients find a server only in $work/xdg, the test's own runtime
# folder, and start none of their own.
private_sound() {
    mkdir -p -m 700 "$work/xdg" "$work/home"
    export XDG_RUNTIME_DIR="$work/xdg"
    unset PULSE_SERVER PULSE_SINK
    echo "autospawn = no" >"$work/client.conf"
    export PULSE_CLIENTCONFIG="$work/client.conf"
}

# Starts a PulseAudio server with a null sink named werule, reached through
# that runtime folder's socket (private_sound first); sets pulse_pid. Its
# log goes to $work/pulse.log.
start_pulse() {
    HOME="$work/home" pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=stderr \
        --load="module-null-sink sink_name=werule" \
        --load="module-native-protocol-unix auth-anonymous=1" 2>"$work/pulse.log" &
    pulse_pid=$!
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "pulseaudio did not start"
        kill -0 "$pulse_pid" 2>/dev/null || fail "pulseaudio ended"
        sleep 0.1
    done
}

# Starts PipeWire as today's desktops run it: the daemon, WirePlumber and
# its PulseAudio interface (pipewire-pulse), on a D-Bus of their own, with
# a null sink named $1 held at 44.1 kHz, reached through that runtime
# folder's socket as a PulseAudio server is (private_sound first). Sets
# pulse_pid to pipewire-pulse's process id (the server its clients talk
# to) and sound_pids to all four, which stop_pipewire stops. Logs to
# $work/pipewire.log. pipewire_installed says whether it can run here.
pipewire_installed() {
    for tool in pipewire wireplumber pipewire-pulse pw-metadata dbus-daemon pactl; do
        command -v "$tool" >/dev/null 2>&1 || return 1
    done
}
start_pipewire() {
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$work/pipewire.log" 2>&1 &
    sound_pids=$!
    i=0
    until [ -S "$XDG_RUNTIME_DIR/bus" ]; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "D-Bus did not start"
        sleep 0.1
    done
    for program in pipewire wireplumber pipewire-pulse; do
        HOME="$work/home" "$program" >>"$work/pipewire.log" 2>&1 &
        pulse_pid=$!
        sound_pids="$pulse_pid $sound_pids"
        sleep 1
    done
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "pipewire-pulse did not start: $(tail -n 5 "$work/pipewire.log")"
        sleep 0.1
    done
    pw-metadata -n settings 0 clock.force-rate 44100 >/dev/null
    pactl load-module module-null-sink sink_name="$1" rate=44100 channels=2 >/dev/null ||
        fail "PipeWire made no null sink"
    i=0
    until pactl list short sinks | grep -q "$1"; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "the null sink did not appear"
        sleep 0.1
    done
    pactl set-default-sink "$1"
}
stop_pipewire() {
    for pid in ${sound_pids:-}; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    sound_pids=
}
