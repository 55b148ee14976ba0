#!/usr/bin/env bash
# Whole-run benchmark: kelvora against the floor program and two Python peers, as whole
# processes, side by side on the same inputs, then one table (bench/report.py).
#
#   bench/run.sh BUILD_DIR [DATA_DIR]
#
# BUILD_DIR holds kelvora and the bench programs (a Release build configured with
# -DKELVORA_BENCH=ON). DATA_DIR (default BUILD_DIR/bench-data) receives the decompressed
# mricron templates ch2better.nii (301x370x316 UINT8), inia19-t1-brain.nii (168x206x128
# FLOAT32) and inia19-NeuroMaps.nii (168x206x128 INT16), the feature list and command
# files (bench/make_inputs.py), and the pictures of each run in DATA_DIR/out.
#
# Per-feature time is (T(1,000 features) - T(1 feature)) / 999 of the median whole-process
# times; load time is T(1 feature) minus one feature. Timing uses hyperfine when it is
# installed (else a round-robin loop over /usr/bin/time, 10 ms resolution); peak resident
# memory is /usr/bin/time's maximum RSS of every run.
#
# Environment: RUNS (default 5) runs of kelvora, the floor and peer 1; PEER2_RUNS
# (default 1) runs of peer 2, which takes minutes per 1,000 pictures.
set -euo pipefail
trap 'echo "bench/run.sh: failed at line $LINENO" >&2' ERR

build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [DATA_DIR]}" && pwd)
data=${2:-$build/bench-data}
bench=$(cd "$(dirname "$0")" && pwd)
runs=${RUNS:-5}
peer2_runs=${PEER2_RUNS:-1}
python=/usr/bin/python3
templates=/usr/share/mricron/templates
images=(ch2better inia19-t1-brain inia19-NeuroMaps)

kelvora=$build/kelvora
floor=$build/bench/kelvora-floor
reader=$build/bench/kelvora-read-image
for program in "$kelvora" "$floor" "$reader"; do
  [[ -x $program ]] || { echo "missing $program: build with -DKELVORA_BENCH=ON" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
"$python" -c 'import numpy, nibabel, matplotlib' 2>/dev/null ||
  { echo "needs python3-numpy, python3-nibabel and python3-matplotlib for $python" >&2; exit 1; }

mkdir -p "$data"
for image in "${images[@]}"; do
  if [[ ! -s $data/$image.nii ]]; then
    [[ -f $templates/$image.nii.gz ]] ||
      { echo "missing $templates/$image.nii.gz: install mricron-data" >&2; exit 1; }
    gzip -dc "$templates/$image.nii.gz" > "$data/$image.nii.tmp"
    mv "$data/$image.nii.tmp" "$data/$image.nii"
  fi
done
"$python" "$bench/make_inputs.py" "$data" ch2better.nii inia19-t1-brain.nii inia19-NeuroMaps.nii
cd "$data"
cat ./*.nii > /dev/null  # every run reads the images from the page cache

results=$data/results
rm -rf "$results" out
mkdir -p "$results" out
# The peers get their BLAS without this machine's tuning overrides, in their own command only.
peer=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$python")

# Peer 1 must draw the same pictures for the comparison to be fair.
head -n 5 features1000.txt > features5.txt
mkdir -p check/ours/out check/peer/out
(cd check/ours && "$kelvora" ../../ch2better.nii ../../features5.txt run > /dev/null)
(cd check/peer && "${peer[@]}" "$bench/peer_numpy.py" ../../ch2better.nii ../../features5.txt run)
sed 's#^#../../#' commands3.txt > check/commands3.txt
(cd check/ours && "$kelvora" ../commands3.txt > /dev/null)
(cd check/peer && "${peer[@]}" "$bench/peer_numpy.py" ../commands3.txt)
compared=0
for picture in check/ours/*.pgm check/ours/out/*.pgm; do
  twin=check/peer/${picture#check/ours/}
  cmp -s "$picture" "$twin" || { echo "peer 1 differs from kelvora: $picture" >&2; exit 1; }
  compared=$((compared + 1))
done
[[ $compared -eq 8 ]] || { echo "expected 8 pictures to compare, found $compared" >&2; exit 1; }
echo "peer 1 pictures match kelvora's byte for byte ($compared pictures, 3 images, 3 datatypes)" |
  tee "$results/bytes.txt"
rm -rf check

# measure GROUP RUNS NAME COMMAND [NAME COMMAND ...]: times the commands side by side, each
# run starting with an empty out/; writes results/GROUP.json (hyperfine) or
# results/NAME.time, and results/NAME.rss.
measure() {
  local group=$1 count=$2
  shift 2
  local names=() commands=()
  while [[ $# -gt 0 ]]; do
    names+=("$1")
    commands+=("/usr/bin/time -f %M -a -o $results/$1.rss $2")
    shift 2
  done
  echo "== $group: ${names[*]} ($count runs)"
  if command -v hyperfine > /dev/null; then
    local arguments=()
    for i in "${!names[@]}"; do arguments+=(--command-name "${names[$i]}" "${commands[$i]}"); done
    hyperfine -N --style basic --runs "$count" --prepare 'sh -c "rm -rf out && mkdir out"' \
      --export-json "$results/$group.json" "${arguments[@]}"
  else
    for ((run = 0; run < count; run++)); do
      for i in "${!names[@]}"; do
        rm -rf out && mkdir out
        /usr/bin/time -f %e -a -o "$results/${names[$i]}.time" ${commands[$i]} > /dev/null
      done
    done
  fi
}

measure load "$runs" \
  read-library "$reader ch2better.nii library" \
  read-kelvora "$reader ch2better.nii kelvora"
measure list "$runs" \
  ours-1000 "$kelvora ch2better.nii features1000.txt out/run" \
  ours-1 "$kelvora ch2better.nii features1.txt out/run" \
  floor-1000 "$floor ch2better.nii features1000.txt out/run" \
  floor-1 "$floor ch2better.nii features1.txt out/run" \
  peer1-1000 "${peer[*]} $bench/peer_numpy.py ch2better.nii features1000.txt out/run" \
  peer1-1 "${peer[*]} $bench/peer_numpy.py ch2better.nii features1.txt out/run"
measure list-peer2 "$peer2_runs" \
  peer2-1000 "${peer[*]} $bench/peer_matplotlib.py ch2better.nii features1000.txt out/run" \
  peer2-1 "${peer[*]} $bench/peer_matplotlib.py ch2better.nii features1.txt out/run"
measure commands "$runs" \
  cmd-ours-1000 "$kelvora commands1000.txt" \
  cmd-ours-3 "$kelvora commands3.txt" \
  cmd-floor-1000 "$floor commands1000.txt" \
  cmd-floor-3 "$floor commands3.txt" \
  cmd-peer1-1000 "${peer[*]} $bench/peer_numpy.py commands1000.txt" \
  cmd-peer1-3 "${peer[*]} $bench/peer_numpy.py commands3.txt"
measure commands-peer2 "$peer2_runs" \
  cmd-peer2-1000 "${peer[*]} $bench/peer_matplotlib.py commands1000.txt" \
  cmd-peer2-3 "${peer[*]} $bench/peer_matplotlib.py commands3.txt"
rm -rf out

echo
"$python" "$bench/report.py" "$results" "$data" | tee "$results/table.txt"
