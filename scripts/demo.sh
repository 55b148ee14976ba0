#!/usr/bin/env bash
# Runs kelvora on the bundled synthetic phantom and says where the pictures are.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/demo-output"
rm -rf "$out"
mkdir -p "$out"

"$root/$build/kelvora-phantom" "$out/phantom.nii"
cp "$root/sample/features.txt" "$out/features.txt"
cd "$out"
echo "\$ kelvora phantom.nii features.txt demo"
status=0
"$root/$build/kelvora" phantom.nii features.txt demo || status=$?
if [[ -x "$root/$build/kelvora-gallery" ]]; then
  echo
  echo "\$ kelvora-gallery phantom.nii features.txt demo"
  "$root/$build/kelvora-gallery" phantom.nii features.txt demo || status=$?
fi
echo
echo "The pictures are in $out:"
ls -1 "$out"/*.pgm
if [[ -f "$out/demo.gallery.html" ]]; then
  echo "Open $out/demo.gallery.html in a browser to page through and rate them."
fi
echo "Any Netpbm viewer shows a PGM, e.g. 'display FILE.pgm' (ImageMagick) or 'eog FILE.pgm'."
exit "$status"
