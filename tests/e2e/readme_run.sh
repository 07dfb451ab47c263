#!/bin/sh
# The README's first command as a new user types it: `make run` in a fresh
# clone (the committed tree plus the working tree's changes), under a private
# 800x600x24 Xvfb. The intro must open its window; Esc held then ends it and
# make exits 0.
#   readme_run.sh PROBE SOURCE_DIR
set -u

probe=$1
source_dir=$2
command -v git >/dev/null || { echo "no git: skipped"; exit 77; }
git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1 || { echo "not a clone: skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/werule-readme.XXXXXX")
xvfb_pid=
make_pid=
cleanup() {
    [ -n "$make_pid" ] && pkill -9 -P "$make_pid" 2>/dev/null && kill -9 "$make_pid" 2>/dev/null
    stop_xvfb
    [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    echo "--- make run's output:"; tail -n 40 "$work/make.log" 2>/dev/null
    exit 1
}

. "$(dirname "$0")/lib.sh"

# A fresh clone, with what is not yet committed laid over it.
git clone -q "$source_dir" "$work/clone" || fail "git clone failed"
git -C "$source_dir" diff HEAD --binary >"$work/changes.diff"
if [ -s "$work/changes.diff" ]; then
    git -C "$work/clone" apply "$work/changes.diff" || fail "the working tree's changes do not apply"
fi
git -C "$source_dir" ls-files --others --exclude-standard -z |
    (cd "$source_dir" && xargs -0 -r cp --parents -t "$work/clone") ||
    fail "copying the untracked files failed"

start_xvfb 800x600x24
(cd "$work/clone" && exec make run) >"$work/make.log" 2>&1 &
make_pid=$!

# The clone builds the intro first: allow it five minutes.
show_pid=$make_pid
wait_window 3000
sleep 2
xdotool windowfocus --sync "$window_id" && xdotool keydown Escape
sleep 0.1
xdotool keyup Escape
wait_end 100 || fail "make run still running 10 s after Esc"
make_pid=
[ "$status" -eq 0 ] || fail "make run exited with $status"
grep -q "build/werule" "$work/make.log" || fail "make run did not start build/werule"
echo "PASS: make run in a fresh clone built the intro, showed its window and ended on Esc with 0"
