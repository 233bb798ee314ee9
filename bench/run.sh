#!/usr/bin/env bash
# Builds som_train, som_train_plain and the training benchmark, generates the
# workloads (bench/make_workloads.py: W1, W2, W3; W4 and D1, which continue
# a map that an untimed preparation run trains first; D2 and S1, sparse data
# from Krok 0, and D2s and S1s, the same data shifted away from 0), and on
# each one:
#  - runs the whole program, fast and plain, REPEATS times each (alternating),
#    every run in a fresh copy of the workload, checks that the four output
#    files of every run are identical byte for byte, and prints the median
#    wall times and their ratio;
#  - times the training alone, plain loops against the fast kernels
#    (som_train_bench), and checks those results too.
#
# usage: bench/run.sh [REPEATS] [WORKLOAD...]
#   (default 5, W1 W2 W3 W4 D1 D2 D2s S1 S1s; W5, 10^6 samples of dimension
#   32, only when named)
# BUILD_DIR (default build-bench) picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
repeats="${1:-5}"
shift || true
workloads=("$@")
[ ${#workloads[@]} -eq 0 ] && workloads=(W1 W2 W3 W4 D1 D2 D2s S1 S1s)
build="${BUILD_DIR:-build-bench}"
jobs="${SOM_JOBS:-2}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_BENCH=ON -DSOM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target som_train som_train_plain som_train_bench >/dev/null
root="$(pwd)/$build/bench-work"
rm -rf "$root"
mkdir -p "$root"
# The large workloads are written only when asked for.
large=()
for w in "${workloads[@]}"; do
  case "$w" in W5) large+=("$w") ;; esac
done
python3 bench/make_workloads.py "$root/workloads" "${large[@]}"

fast="$(pwd)/$build/src/som_train"
plain="$(pwd)/$build/src/som_train_plain"
# A continued workload's starting map: its preparation run, untimed, then the
# measured run's setup takes the preparation's final Krok, as a user does.
for prepare in "$root"/workloads/*/prepare; do
  folder="$(dirname "$prepare")"
  cp "$folder/data.txt" "$prepare/"
  (cd "$prepare" && "$fast" >/dev/null)
  krok="$(head -n 1 "$prepare/konecne_parametry.txt" | cut -f 1)"
  sed -i "s/^KROK/$krok/" "$folder/setup.txt"
  cp "$prepare/vahy.bin" "$prepare/vystup.txt" "$folder/"
done

source bench/timing.sh

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
status=0
for w in "${workloads[@]}"; do
  fast_times=()
  plain_times=()
  for ((r = 1; r <= repeats; r++)); do
    plain_times+=("$(run_once "$plain" "$w" "$root/$w-plain")")
    fast_times+=("$(run_once "$fast" "$w" "$root/$w-fast")")
    for f in "${outputs[@]}"; do
      if ! cmp -s "$root/$w-plain/$f" "$root/$w-fast/$f"; then
        echo "$w: $f DIFFERS between som_train and som_train_plain"
        status=1
      fi
    done
  done
  fm=$(printf '%s\n' "${fast_times[@]}" | median)
  pm=$(printf '%s\n' "${plain_times[@]}" | median)
  printf '%s whole program: som_train %.3f s, som_train_plain %.3f s, %.1fx (median of %d, outputs %s)\n' \
    "$w" "$fm" "$pm" "$(echo "$pm / $fm" | bc -l)" "$repeats" \
    "$([ $status -eq 0 ] && echo identical || echo DIFFERENT)"
  "$(pwd)/$build/bench/som_train_bench" "$root/workloads/$w" "$repeats" || status=1
done
exit $status
