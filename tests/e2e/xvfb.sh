# Sourced by the end-to-end scripts: start_xvfb SCREEN starts a private Xvfb
# with that screen (e.g. 800x600x24), which picks a free display number and
# writes it to fd 3; sets xvfb_pid and exports DISPLAY once a client can
# connect. stop_xvfb stops it. Needs $work (a scratch folder) and fail().
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
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
