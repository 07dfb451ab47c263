#!/bin/sh
# The Windows build's werule.exe under Wine on a private Xvfb display.
#   wine_e2e.sh PROBE WERULE_EXE PREFIX CASE
# PREFIX is the Wine prefix the tests share (made by the first test, about
# 10 s); the tests take turns with it. CASE:
#   fullscreen  800x600x24 screen: the fullscreen path, an 800x600 window
#               ":: We rule ::" at (0,0), top and bottom 100 rows black,
#               the band showing the scene; Esc held ends it with 0
#   close       the same window asked to close ends the intro with 0
#   yes         1024x768x24 screen: the Yes/No box; Return (Yes) gives the
#               captioned window, its 800x600 client area at the screen's
#               corner below the caption, the display mode untouched
#   no          1024x768x24 screen: 'n' (No) shows a second box; exit 1
#   cursor      800x600x24 screen, the pointer moved over the window: the
#               cursor there is hidden (XFixes: no visible pixel) while the
#               show runs, the root window's cursor before; Esc ends it
#               with 0. That the cursor is shown again at the end X cannot
#               tell: the window takes its cursor with it, and while
#               DestroyWindow keeps it 2 s (Wine without a window manager)
#               Wine gives it the shown cursor only on the next pointer
#               event. test-platform-win32-release.exe checks the count.
#   minimise    800x600x24 screen: window-probe-win32.exe (beside
#               WERULE_EXE) minimises the window and takes the activation,
#               as the taskbar does; no frame is drawn while it is
#               minimised (Wine's trace of wglSwapBuffers, WINEDEBUG=+wgl,
#               counts them: the screen cannot tell, since Wine shows
#               nothing of a minimised window's drawing) and the screen
#               keeps the last frame; restored, the show draws again and Esc
#               ends it with 0
#   imports     no display: the file is a GUI program that imports system
#               DLLs only and holds one icon group, number 102
#   layer       WERULE_EXE is a test program of the Win32 layer
#               (test-platform-win32.exe, test-platform-win32-release.exe)
#               on an 800x600x24 screen: it must pass
set -u

probe=$1
exe=$2
prefix=$3
case_name=$4
[ -f "$exe" ] || { echo "no $exe (make windows builds it): skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-wine.XXXXXX")
xvfb_pid=
show_pid=
cleanup() {
    [ -n "$show_pid" ] && kill -9 "$show_pid" 2>/dev/null
    # The prefix's server and its helper processes, started by this test.
    [ -n "$xvfb_pid" ] && WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
    [ -n "$xvfb_pid" ] && stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- wine's output:"; cat "$work/show.log" 2>/dev/null
    exit 1
}

if [ "$case_name" = imports ]; then
    objdump=x86_64-w64-mingw32-objdump
    command -v "$objdump" >/dev/null || { echo "no $objdump: skipped"; exit 77; }
    "$objdump" -p "$exe" >"$work/headers" || fail "objdump cannot read $exe"
    grep -q 'Subsystem.*(Windows GUI)' "$work/headers" || fail "not a GUI program"
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$work/headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
    echo "imports: $dlls"
    [ -n "$dlls" ] || fail "no import list"
    for dll in $dlls; do
        case "$dll" in
        kernel32.dll|user32.dll|gdi32.dll|opengl32.dll|glu32.dll|winmm.dll|msvcrt.dll) ;;
        *) fail "imports $dll, which Windows does not ship" ;;
        esac
    done
    # Resource types: 3 icon images, 14 icon groups; the group's id 102 (0x66).
    sed -n '/Resource Directory section/,/Resources start/p' "$work/headers" >"$work/rsrc"
    awk '
        /^[0-9a-f]+    Name Table:/ && !/Num Names: 0,/ { named = 1 }
        /^[0-9a-f]+   Entry:/ { type = $4 }
        /^[0-9a-f]+     Entry:/ { count[type]++; if (type == "0x00000e,") group = $4 }
        END {
            printf "icon images %d, icon groups %d, group id %s named entries %d\n",
                count["0x000003,"], count["0x00000e,"], group, named
            exit !(named == 0 && count["0x000003,"] == 3 && count["0x00000e,"] == 1 &&
                   group == "0x000066,")
        }' "$work/rsrc" || fail "the resources are not one icon group of three images numbered 102"
    echo "size: $(wc -c <"$exe") bytes"
    echo "PASS: $case_name"
    exit 0
fi

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] || { echo "no Wine: skipped"; exit 77; }
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

. "$(dirname "$0")/lib.sh"

make_prefix() {
    [ -f "$prefix/system.reg" ] && return
    mkdir -p "$prefix"
    start=$(now_ms)
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(cat "$work/wineboot.log")"
    "$wineserver" -w
    echo "new Wine prefix in $(( $(now_ms) - start )) ms"
}

start_show() {
    "$wine" "$exe" >"$work/show.log" 2>&1 &
    show_pid=$!
}

# The frames drawn so far, as Wine's wgl trace counts them.
swaps() {
    grep -c 'wglSwapBuffers' "$work/show.log"
}



# Waits up to 30 s for a message box: Wine's own top-level window of the
# program's class with no name; sets box.
wait_box() {
    box=
    i=0
    while [ -z "$box" ]; do
        i=$((i + 1)); [ $i -gt 300 ] && fail "no message box appeared"
        kill -0 "$show_pid" 2>/dev/null || fail "the intro ended before its box appeared"
        sleep 0.1
        box=$(xdotool search --onlyvisible --classname werule.exe 2>/dev/null | tail -n 1)
    done
    "$probe" find ":: We rule ::" >/dev/null && fail "the window opened before the question"
    return 0
}

# Size and place of the box now shown.
box_geometry() {
    xwininfo -id "$box" 2>/dev/null | sed -n 's/^ *-geometry //p'
}


# Brightest channel value and mean of the screen's rectangle W H X Y.
brightest() {
    convert "$work/shot.png" -crop "$1x$2+$3+$4" +repage -separate -evaluate-sequence max \
        -format '%[fx:int(255*maxima+0.5)]' info:
}
mean() {
    convert "$work/shot.png" -crop "$1x$2+$3+$4" +repage -colorspace gray \
        -format '%[fx:255*mean]' info:
}


case "$case_name" in
layer)
    start_xvfb 800x600x24
    make_prefix
    "$wine" "$exe" >"$work/show.log" 2>&1
    status=$?
    cat "$work/show.log"
    [ "$status" -eq 0 ] || fail "exit code $status"
    ;;
fullscreen)
    start_xvfb 800x600x24
    make_prefix
    start=$(now_ms)
    start_show
    wait_window 300
    echo "window after $(( $(now_ms) - start )) ms"
    [ "$geometry" = "800x600+0+0" ] || fail "window is $geometry"
    sleep 3
    expect_letterbox 100
    # The scroller's white glyphs from wglUseFontOutlinesA in rows 100 to
    # 139: thousands of white pixels there; without the glyphs, the flares
    # give a few dozen.
    import -window root "$work/shot.png"
    white=$(convert "$work/shot.png" -crop 800x40+0+100 +repage -colorspace gray -threshold 94% \
        -format '%[fx:int(mean*w*h+0.5)]' info:)
    echo "white pixels in the scroller's rows: $white"
    [ "$white" -ge 500 ] || fail "no text in the scroller's rows"
    hold_escape_to_end 100
    ;;
close)
    start_xvfb 800x600x24
    make_prefix
    start_show
    wait_window 300
    sleep 1
    "$probe" close ":: We rule ::" || fail "could not ask the window to close"
    wait_end 100 || fail "still running 10 s after the close request"
    [ "$status" -eq 0 ] || fail "exit code $status after close"
    ;;
yes)
    start_xvfb 1024x768x24
    make_prefix
    start_show
    wait_box
    press_in "$box" Return
    wait_window 300
    # The X window is the client area; Wine draws the frame and caption
    # around it, so a frame at (0,0) puts the client a border's width in
    # and a caption's height down.
    echo "client area $geometry"
    case "$geometry" in 800x600+*) ;; *) fail "client area is $geometry, not 800x600" ;; esac
    offset=${geometry#800x600+}
    left=${offset%+*}
    top=${offset#*+}
    [ "$left" -gt 0 ] && [ "$left" -le 10 ] && [ "$top" -gt "$left" ] && [ "$top" -le 40 ] ||
        fail "client area at ($left, $top): the frame is not at (0,0) with a caption"
    sleep 3
    import -window root "$work/shot.png"
    root=$(xwininfo -root | sed -n 's/^ *-geometry //p')
    [ "$root" = "1024x768+0+0" ] || fail "the display mode changed to $root"
    # Rows 0-99 and 500-599 of the client area black, rows 100 and 499 drawn.
    set -- "$(brightest 800 100 "$left" "$top")" "$(brightest 800 100 "$left" $((top + 500)))" \
        "$(mean 800 1 "$left" $((top + 100)))" "$(mean 800 1 "$left" $((top + 499)))"
    echo "brightest top $1, bottom $2; mean of the client's rows 100: $3, 499: $4"
    [ "$1" -eq 0 ] && [ "$2" -eq 0 ] || fail "the letterbox strips are not black"
    awk "BEGIN { exit !($3 > 1 && $4 > 1) }" || fail "the band is not rows 100-499 of the client"
    hold_escape_to_end 100
    ;;
no)
    start_xvfb 1024x768x24
    make_prefix
    start_show
    wait_box
    question=$(box_geometry)
    # 'n' is No. Wine's box can take the first key after it gains the focus
    # for the focus alone; a person presses again, and so does this.
    presses=0
    while [ "$(box_geometry)" = "$question" ]; do
        presses=$((presses + 1)); [ $presses -gt 3 ] && fail "'n' does not answer the question"
        press_in "$box" n
        sleep 1
        kill -0 "$show_pid" 2>/dev/null || fail "ended without telling the user"
        wait_box
    done
    echo "question $question, answered No after $presses presses of 'n'; then $(box_geometry)"
    press_in "$box" Return
    wait_end 100 || fail "still running after 'To ja znikam.'"
    [ "$status" -eq 1 ] || fail "exit code $status after No"
    ;;
cursor)
    start_xvfb 800x600x24
    make_prefix
    cursor=$("$probe" cursor) || fail "no XFixes cursor image"
    echo "the root window's cursor: ${cursor#* } visible pixels"
    [ "${cursor#* }" -gt 0 ] || fail "the root window's cursor shows nothing"
    start_show
    wait_window 300
    sleep 2
    # As a person moves the mouse over the show: Wine sets the window's
    # cursor on pointer events.
    xdotool mousemove 200 200 && sleep 0.2 && xdotool mousemove 400 300
    sleep 0.5
    cursor=$("$probe" cursor)
    [ "${cursor#* }" = 0 ] || fail "the cursor over the fullscreen window shows ${cursor#* } pixels"
    sleep 1
    xdotool mousemove 600 500
    sleep 0.5
    cursor=$("$probe" cursor)
    [ "${cursor#* }" = 0 ] || fail "the cursor came back during the show: ${cursor#* } pixels"
    echo "over the window while the show runs: no visible pixel"
    hold_escape_to_end 100
    ;;
minimise)
    helper=$(dirname "$exe")/window-probe-win32.exe
    [ -f "$helper" ] || { echo "no $helper (make windows builds it): skipped"; exit 77; }
    start_xvfb 800x600x24
    make_prefix
    WINEDEBUG=-all,+wgl "$wine" "$exe" >"$work/show.log" 2>&1 &
    show_pid=$!
    wait_window 300
    sleep 3
    [ "$(swaps)" -gt 10 ] || fail "no frames drawn before minimising ($(swaps))"
    "$wine" "$helper" minimise ":: We rule ::" 6 >"$work/helper.log" 2>&1 &
    helper_pid=$!
    i=0
    until grep -q '^minimised' "$work/helper.log"; do
        i=$((i + 1)); [ $i -gt 300 ] && fail "not minimised: $(cat "$work/helper.log")"
        kill -0 "$helper_pid" 2>/dev/null || fail "not minimised: $(cat "$work/helper.log")"
        sleep 0.05
    done
    # A frame begun before the window was minimised may still be swapped.
    sleep 0.5
    before=$(swaps)
    "$probe" still 2 3 >/dev/null || fail "the screen changes while the window is minimised"
    after=$(swaps)
    echo "frames while minimised: $before, 2 s later $after"
    [ "$after" -eq "$before" ] || fail "$((after - before)) frames drawn while minimised"
    set -- $("$probe" bands 100)
    echo "the screen meanwhile: band mean $3 (the last frame)"
    wait "$helper_pid" || fail "not restored: $(cat "$work/helper.log")"
    restored=$(swaps)
    sleep 1
    echo "restored: $(( $(swaps) - restored )) frames in the next second"
    [ "$(swaps)" -gt $((restored + 10)) ] || fail "the show does not draw again after restoring"
    ! "$probe" still 1 3 >/dev/null || fail "the screen stands still after restoring"
    hold_escape_to_end 100
    ;;
*)
    echo "unknown case $case_name"; exit 2 ;;
esac
echo "PASS: $case_name"
