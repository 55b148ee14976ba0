#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, one after the other.
# Usage: fuzz/run_fuzz.sh BUILD_DIR [SECONDS] [TARGET...]
# Each target starts from its committed seeds (fuzz/seeds/<target>) and grows its own
# corpus in fuzz/corpus-<target> (not committed). A crash leaves its input as
# BUILD_DIR/fuzz/artifacts/<target>/crash-* and fails the script.
set -euo pipefail

build=${1:?usage: run_fuzz.sh BUILD_DIR [SECONDS] [TARGET...]}
seconds=${2:-60}
shift $(( $# < 2 ? $# : 2 ))
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(text_file feature_list loader panels)

# A header may claim gigabytes: the NIfTI library then asks for them. Such requests fail
# quietly instead of ending the run, and the limits keep every run within the machine.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  corpus="$here/corpus-$target"
  artifacts="$build/fuzz/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
      -malloc_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$here/seeds/$target" >"$artifacts/log.txt" 2>&1; then
    echo "fuzz_$target FAILED: see $artifacts/log.txt"
    tail -n 60 "$artifacts/log.txt"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$artifacts/log.txt" || true
done
exit $status
