#!/usr/bin/env bash
# Installs the Debian packages a make target needs, when they are missing.
# As root it runs apt-get (with one apt-get update first); as anyone else it names the
# packages to install and fails.
# Usage: scripts/deps.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "kelvora needs these Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
stamp=/var/lib/apt/periodic/kelvora-update-stamp
if [[ ! -e "$stamp" ]] || ! apt-cache show "${missing[0]}" >/dev/null 2>&1; then
  apt-get update -q
  mkdir -p "$(dirname "$stamp")" && touch "$stamp"
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
