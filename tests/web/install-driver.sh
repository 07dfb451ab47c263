#!/bin/sh
# Installs the page tests' driver (puppeteer-core, pinned by package-lock.json
# beside this script) into DEST/node_modules with npm ci; does nothing when
# DEST already holds this very lock file's install.
#   install-driver.sh DEST
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dest=$1
mkdir -p "$dest"
if [ -d "$dest/node_modules/puppeteer-core" ] && cmp -s "$here/package-lock.json" "$dest/package-lock.json"; then
    exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
    echo "SKIP: no npm (tools/install-deps.sh installs it)"
    exit 77
fi
cp "$here/package.json" "$here/package-lock.json" "$dest/"
cd "$dest"
# npm's cache in the build tree too, so nothing is written under $HOME.
npm_config_cache="$dest/.npm-cache" npm ci --no-audit --no-fund --loglevel=error
