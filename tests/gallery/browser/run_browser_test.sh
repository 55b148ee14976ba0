#!/usr/bin/env bash
# Runs the gallery's browser test (gallery_browser.mjs, options passed through). Installs
# playwright-core from package-lock.json with `npm ci` when node_modules is missing or was
# installed from another lock file. One run at a time on a machine: the lock also keeps two
# build trees from reinstalling node_modules under each other.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec 9>"${TMPDIR:-/tmp}/kelvora-gallery-browser-test.lock"
flock 9
stamp="$here/node_modules/.kelvora-installed-lock.json"
if ! cmp -s "$here/package-lock.json" "$stamp"; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$stamp"
fi
node "$here/gallery_browser.mjs" "$@"
