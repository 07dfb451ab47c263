#!/bin/sh
# Prints the release version of the source tree SOURCE_DIR (default: the
# tree this script is in).
#   version.sh [SOURCE_DIR]
# VERSION holds the release number, e.g. 1.0. In a git checkout whose HEAD
# is the commit tagged vNUMBER, the version is NUMBER; any other commit is
# NUMBER-COUNT-gHASH, COUNT commits after the tag (or, before the tag
# exists, after the commit that last changed VERSION), with -dirty added
# when tracked files differ from HEAD. Without git it is NUMBER.
set -eu
source_dir=${1:-$(dirname "$0")/../..}
cd "$source_dir"
number=$(tr -d '\r\n' <VERSION)
case "$number" in
'' | *[!0-9A-Za-z.]*) echo "version.sh: bad VERSION '$number'" >&2; exit 1 ;;
esac

if ! command -v git >/dev/null 2>&1 || ! git rev-parse --verify -q HEAD >/dev/null 2>&1; then
    echo "$number"
    exit 0
fi

dirty=
[ -z "$(git status --porcelain --untracked-files=no)" ] || dirty=-dirty
if base=$(git rev-parse -q --verify "refs/tags/v$number^{commit}" 2>/dev/null); then
    :
else
    base=$(git log -1 --format=%H -- VERSION)
fi
if [ -n "$base" ] && [ "$(git rev-parse HEAD)" = "$base" ] &&
    git rev-parse -q --verify "refs/tags/v$number" >/dev/null && [ -z "$dirty" ]; then
    echo "$number"
    exit 0
fi
if [ -n "$base" ] && git merge-base --is-ancestor "$base" HEAD 2>/dev/null; then
    count=$(git rev-list --count "$base..HEAD")
else
    count=$(git rev-list --count HEAD)
fi
echo "$number-$count-g$(git rev-parse --short=7 HEAD)$dirty"
