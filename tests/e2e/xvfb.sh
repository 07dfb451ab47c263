# Sourced by the end-to-end scripts: start_xvfb SCREEN starts a private Xvfb
# with that screen (e.g. 800x600x24), which picks a free display number and
# writes it to fd 3; sets xvfb_pid and exports DISPLAY. Needs $work (a
# scratch folder) and fail().
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
}
