#!/bin/sh
# The real intro's window under a private Xvfb display.
#   window_e2e.sh PROBE WERULE CASE
# CASE:
#   fullscreen  800x600x24 screen: a fullscreen 800x600 window ":: We rule ::"
#               at (0,0) whose top and bottom 100 rows stay black while the
#               band between shows the scene; Esc ends it with 0 (within 3 s;
#               the time taken is printed)
#   close       the same window asked to close ends the intro with 0
#   yes         1024x768x24 screen: the Yes/No box appears; Yes gives the
#               800x600 window at (0,0); Esc then ends with 0
#   no          1024x768x24 screen: No shows a second box, then exit 1
#   wayland     under weston (X11 backend, 1000x700, nested in Xvfb) on SDL's
#               wayland driver: fullscreen at the compositor's size, the
#               letterbox laid from that drawable, Esc held ends it with 0
#   tap         a bare Esc tap (press and release 6 ms apart, as xdotool
#               key sends it, inside one frame) ends it with 0 within 3 s
#   nodisplay   no X display at all: exit 1, the box's text and the reason
#               on standard error
set -u

probe=$1
werule=$2
case_name=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-window.XXXXXX")
xvfb_pid=
show_pid=
weston_pid=
cleanup() {
    [ -n "$show_pid" ] && kill -9 "$show_pid" 2>/dev/null
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- intro's output:"; cat "$work/show.log" 2>/dev/null
    exit 1
}

. "$(dirname "$0")/lib.sh"

start_show() {
    SDL_AUDIODRIVER=dummy "$werule" >"$work/show.log" 2>&1 &
    show_pid=$!
}



# Waits up to 20 s for a mapped message box (a window without our title).
wait_box() {
    i=0
    while [ "$("$probe" count)" -lt "$1" ]; do
        i=$((i + 1)); [ $i -gt 200 ] && fail "no message box appeared"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before its box appeared"
        sleep 0.1
    done
    "$probe" find ":: We rule ::" >/dev/null && fail "the window opened before the question"
    box=$(xdotool search --onlyvisible --class '' | tail -n 1)
    [ -n "$box" ] || fail "xdotool cannot see the box"
}



case "$case_name" in
fullscreen)
    start_xvfb 800x600x24
    start_show
    wait_window 200
    [ "$geometry" = "800x600+0+0" ] || fail "window is $geometry"
    sleep 3
    expect_letterbox 100
    hold_escape_to_end 30
    ;;
wayland)
    command -v weston >/dev/null || { echo "no weston: skipped"; exit 77; }
    start_xvfb 1000x700x24
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
    weston --backend=x11-backend.so --socket=werule-e2e --width=1000 --height=700 \
        >"$work/weston.log" 2>&1 &
    weston_pid=$!
    i=0
    while [ ! -S "$XDG_RUNTIME_DIR/werule-e2e" ]; do
        i=$((i + 1)); [ $i -gt 200 ] && fail "weston did not start: $(tail -n 5 "$work/weston.log")"
        sleep 0.1
    done
    export WAYLAND_DISPLAY=werule-e2e SDL_VIDEODRIVER=wayland
    start_show
    # The band of a 700-line drawable: 466 lines, 116 from the bottom, so
    # 118 black lines above it and 116 below.
    i=0
    while :; do
        set -- $("$probe" bands 116)
        awk "BEGIN { exit !($3 > 2) }" && break
        i=$((i + 1)); [ $i -gt 200 ] && fail "nothing drawn on weston's output (band mean $3)"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before it drew"
        sleep 0.1
    done
    sleep 1
    expect_letterbox 116
    "$probe" find ":: We rule ::" >/dev/null && fail "the intro opened an X11 window, not a Wayland one"
    # Without a window manager the X keyboard goes to the window under the
    # pointer: weston's, which passes it to the focused client.
    xdotool mousemove 500 350 && xdotool keydown Escape
    sleep 0.1
    xdotool keyup Escape
    wait_end 30 || fail "still running 3 s after Esc"
    [ "$status" -eq 0 ] || fail "exit code $status after Esc"
    ;;
tap)
    start_xvfb 800x600x24
    start_show
    wait_window 200
    sleep 3
    start=$(now_ms)
    xdotool windowfocus --sync "$window_id" && xdotool key Escape
    wait_end 30 || fail "still running 3 s after an Esc tap"
    took=$(( $(now_ms) - start ))
    [ "$status" -eq 0 ] || fail "exit code $status after the tap"
    echo "the tap ended the intro in $took ms"
    ;;
close)
    start_xvfb 800x600x24
    start_show
    wait_window 200
    sleep 1
    "$probe" close ":: We rule ::" || fail "could not ask the window to close"
    wait_end 30 || fail "still running 3 s after the close request"
    [ "$status" -eq 0 ] || fail "exit code $status after close"
    ;;
yes)
    start_xvfb 1024x768x24
    start_show
    wait_box 1
    press_in "$box" Return
    wait_window 200
    [ "$geometry" = "800x600+0+0" ] || fail "window is $geometry"
    hold_escape_to_end 30
    ;;
no)
    start_xvfb 1024x768x24
    start_show
    wait_box 1
    press_in "$box" Escape   # the box's No
    sleep 1
    kill -0 "$show_pid" 2>/dev/null || fail "ended without telling the user"
    wait_box 1
    press_in "$box" Return
    wait_end 50 || fail "still running after 'To ja znikam.'"
    [ "$status" -eq 1 ] || fail "exit code $status after No"
    ;;
nodisplay)
    unset DISPLAY WAYLAND_DISPLAY
    start_show
    wait_end 100 || fail "still running without a display"
    [ "$status" -eq 1 ] || fail "exit code $status without a display"
    grep -q "Failed To Register The Window Class." "$work/show.log" ||
        fail "the box's text did not reach standard error"
    grep -q "no X11 or Wayland display could be opened (DISPLAY=unset, WAYLAND_DISPLAY=unset)" \
        "$work/show.log" || fail "standard error does not say why"
    ;;
*)
    echo "unknown case $case_name"; exit 2 ;;
esac
echo "PASS: $case_name"
