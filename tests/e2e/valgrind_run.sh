#!/usr/bin/env bash
# Runs kelvora under valgrind in all three call forms on the phantom, plus a command file
# whose second image is missing, and fails on any memory error or definite/indirect leak.
# Usage: valgrind_run.sh KELVORA PHANTOM FEATURES_TXT WORK_DIR
set -euo pipefail

[[ $# -eq 4 ]] || { echo "usage: valgrind_run.sh KELVORA PHANTOM FEATURES_TXT WORK_DIR" >&2; exit 2; }
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
kelvora=$(absolute "$1")
phantom=$(absolute "$2")
features=$(absolute "$3")
work=$4

rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$phantom" phantom.nii >/dev/null

failures=0
# check NAME EXPECTED_STATUS ARGS...: valgrind's own errors exit with 1, a status the tool
# never uses (it gives 0 or 255), so a memory error cannot pass for an expected failure.
check() {
  local name=$1 expected=$2
  shift 2
  local status=0
  valgrind --quiet --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    "$kelvora" "$@" >"$name.out" 2>"$name.err" || status=$?
  if [[ $status -ne $expected ]]; then
    echo "FAIL $name: exit status $status, expected $expected"
    cat "$name.out" "$name.err"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check single 0 phantom.nii 14 18 16 1.5 single
check list 0 phantom.nii "$features" list
printf 'phantom.nii\t33\t36\t24\t2.25\tcmd\n#comment\nphantom.nii\t2\t3\t1\t1.5\tcmd\n./phantom.nii\t10.9\t20.2\t3\t2\tcmd\n' >commands.txt
check commands 0 commands.txt
printf 'phantom.nii\t33\t36\t24\t2.25\thalf\nmissing.nii\t1\t1\t1\t1\thalf\n' >half.txt
check failing_half_way 255 half.txt

pictures=$(ls ./*.pgm | wc -l)
# 1 single + 7 from the list + 3 from the command file + 1 before the missing image
if [[ $pictures -ne 12 ]]; then
  echo "FAIL expected 12 pictures, found $pictures"
  failures=$((failures + 1))
fi
exit $((failures == 0 ? 0 : 1))
