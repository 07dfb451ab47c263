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
#               800x600 screen scaled to its height, so its letterbox strips
#               are 116 rows; Esc held ends it with 0
#   wide-wayland
#               weston with a 16:9 output (1280x720) on SDL's wayland
#               driver: the lit picture is the 2:1 band of the 800x600
#               screen scaled to 960x720, centred, black on both sides;
#               Esc ends it with 0
#   wide-xwayland
#               the same on weston's Xwayland through SDL's x11 driver (what
#               SDL picks on a Wayland desktop by default)
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

# The same, with the X display and video driver given in the environment
# of this call (weston's Xwayland, not the outer Xvfb).
start_show_env() {
    env -u WAYLAND_DISPLAY DISPLAY="$DISPLAY" SDL_VIDEODRIVER="$SDL_VIDEODRIVER" \
        SDL_AUDIODRIVER=dummy "$werule" >"$work/show.log" 2>&1 &
    show_pid=$!
}

# Starts weston (X11 backend, one WIDTH x HEIGHT output, nested in a private
# Xvfb of that size) on the socket werule-e2e; more weston options may follow.
start_weston() {
    command -v weston >/dev/null || { echo "no weston: skipped"; exit 77; }
    start_xvfb "${1}x${2}x24"
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
    width=$1 height=$2
    shift 2
    weston --backend=x11-backend.so --socket=werule-e2e --width="$width" --height="$height" "$@" \
        >"$work/weston.log" 2>&1 &
    weston_pid=$!
    i=0
    while [ ! -S "$XDG_RUNTIME_DIR/werule-e2e" ]; do
        i=$((i + 1)); [ $i -gt 200 ] && fail "weston did not start: $(tail -n 5 "$work/weston.log")"
        sleep 0.1
    done
}

# Holds Esc on weston's output: without a window manager the X keyboard
# goes to the window under the pointer, weston's, which passes it to the
# focused client. The intro must end with 0 within 3 s.
escape_on_weston() {
    xdotool mousemove 100 100 && xdotool keydown Escape
    sleep 0.1
    xdotool keyup Escape
    wait_end 30 || fail "still running 3 s after Esc"
    [ "$status" -eq 0 ] || fail "exit code $status after Esc"
}

# What is wrong with a lit box "WIDTH HEIGHT X Y" on a screen_w x screen_h
# output, where the 4:3 screen fitted to it is fit_w wide: nothing printed
# when it is the 2:1 band, centred, as wide as the fitted screen, with black
# on both sides.
band_fault() {
    awk -v w="$1" -v h="$2" 'BEGIN { exit !(h > 0 && w / h > 1.94 && w / h < 2.06) }' ||
        { echo "the band's shape is $1/$2, not 2.0 within 3 %"; return; }
    right=$((screen_w - $3 - $1)) bottom=$((screen_h - $4 - $2))
    [ $(($3 - right)) -le 2 ] && [ $((right - $3)) -le 2 ] ||
        { echo "the band is not centred across (left $3, right $right)"; return; }
    [ $(($4 - bottom)) -le 2 ] && [ $((bottom - $4)) -le 2 ] ||
        { echo "the band is not centred down (top $4, bottom $bottom)"; return; }
    [ $(($1 - fit_w)) -le 2 ] && [ $((fit_w - $1)) -le 2 ] ||
        { echo "the band is $1 wide, not the $fit_w of the screen fitted to the output"; return; }
    [ "$3" -gt 0 ] || echo "no black beside the band"
}

# The show on a WIDTH x HEIGHT output of another shape than 4:3: the lit
# picture (window-probe lit) is the 2:1 band of the 800x600 screen scaled
# to fit, centred, with black on both sides, in two grabs half a second
# apart (a window that is still being made fullscreen passes neither).
# Waits up to 20 s for it.
expect_scaled_band() {
    screen_w=$1 screen_h=$2
    fit_w=$((screen_h * 4 / 3 < screen_w ? screen_h * 4 / 3 : screen_w))
    i=0 good=0
    while [ $good -lt 2 ]; do
        i=$((i + 1)); [ $i -gt 40 ] && fail "after 20 s: $fault"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before it drew"
        sleep 0.5
        box=$("$probe" lit)
        fault=$(band_fault $box)
        if [ -z "$fault" ]; then good=$((good + 1)); else good=0; fi
    done
    set -- $box
    echo "lit picture ${1}x${2} at ($3, $4) on ${screen_w}x${screen_h}"
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
    start_weston 1000 700
    export WAYLAND_DISPLAY=werule-e2e SDL_VIDEODRIVER=wayland
    start_show
    # The 800x600 screen scaled to 700 lines: its band is 466 lines, 116
    # from the bottom, so 118 black lines above it and 116 below.
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
    escape_on_weston
    ;;
wide-wayland)
    start_weston 1280 720
    export WAYLAND_DISPLAY=werule-e2e SDL_VIDEODRIVER=wayland
    start_show
    expect_scaled_band 1280 720
    "$probe" find ":: We rule ::" >/dev/null && fail "the intro opened an X11 window, not a Wayland one"
    escape_on_weston
    ;;
wide-xwayland)
    command -v Xwayland >/dev/null || { echo "no Xwayland: skipped"; exit 77; }
    start_weston 1280 720 --xwayland
    # Weston starts Xwayland when the first X client connects; its display
    # is the first free number, announced in weston's log.
    i=0
    while ! xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' \
                        "$work/weston.log" | head -n 1) || [ -z "$xwayland" ]; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "weston's Xwayland has no display: $(tail -n 5 "$work/weston.log")"
        sleep 0.1
    done
    outer_display=$DISPLAY
    DISPLAY=$xwayland SDL_VIDEODRIVER=x11 start_show_env
    DISPLAY=$outer_display
    expect_scaled_band 1280 720
    escape_on_weston
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
