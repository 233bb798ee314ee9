#!/usr/bin/env bash
# Compares two builds of som_train in one series: for each workload, runs the
# plain build, the old build and the new build in turn, REPEATS times, every
# run in a fresh copy of the workload, checks that the old and the new
# build's four output files equal the plain build's byte for byte, and
# prints the median wall times and their ratios to the plain build.
#
# usage: bench/compare.sh OLD_SOM_TRAIN NEW_SOM_TRAIN [REPEATS [WORKLOAD...]]
#   (default 5, W1 W2 W3 W4 D1 D2 D2s S1 S1s). The workloads are those that
#   bench/run.sh leaves in build-bench/bench-work/workloads (run it once first); the plain
#   build is build-bench/src/som_train_plain. To build an old commit, check
#   it out in a worktree of its own and run bench/run.sh there.
set -euo pipefail
cd "$(dirname "$0")/.."
old="$(realpath "$1")"
new="$(realpath "$2")"
repeats="${3:-5}"
shift 2
shift || true
workloads=("$@")
[ ${#workloads[@]} -eq 0 ] && workloads=(W1 W2 W3 W4 D1 D2 D2s S1 S1s)
plain="$(pwd)/build-bench/src/som_train_plain"
root="$(pwd)/build-bench/bench-work"
source bench/timing.sh

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
status=0
for w in "${workloads[@]}"; do
  plain_times=()
  old_times=()
  new_times=()
  for ((r = 1; r <= repeats; r++)); do
    plain_times+=("$(run_once "$plain" "$w" "$root/$w-compare-plain")")
    old_times+=("$(run_once "$old" "$w" "$root/$w-compare-old")")
    new_times+=("$(run_once "$new" "$w" "$root/$w-compare-new")")
    for build in old new; do
      for f in "${outputs[@]}"; do
        if ! cmp -s "$root/$w-compare-plain/$f" "$root/$w-compare-$build/$f"; then
          echo "$w: $f of the $build build DIFFERS from the plain build's"
          status=1
        fi
      done
    done
  done
  pm=$(printf '%s\n' "${plain_times[@]}" | median)
  om=$(printf '%s\n' "${old_times[@]}" | median)
  nm=$(printf '%s\n' "${new_times[@]}" | median)
  printf '%s: plain %.3f s, old %.3f s (%.1fx), new %.3f s (%.1fx) (median of %d)\n' "$w" "$pm" \
    "$om" "$(echo "$pm / $om" | bc -l)" "$nm" "$(echo "$pm / $nm" | bc -l)" "$repeats"
done
exit $status
