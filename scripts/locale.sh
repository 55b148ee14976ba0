#!/usr/bin/env bash
# Makes a locale whose decimal point is a comma available, so the number-parsing tests
# can show that input is read the same under it. Needs root; harmless without it.
set -u
locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && exit 0
[[ $(id -u) -eq 0 ]] || exit 0
command -v localedef >/dev/null || exit 0
localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
