#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang++ (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, starting
# from the committed corpus. A crash or a failed property fails the check; the
# input that caused it is left in build-fuzz/artifacts/ (replay it with
# build/fuzz/replay_<name> <file>, built by ./check.sh, or the fuzz_<name>
# program).
# SOM_FUZZ_SECONDS sets the time per harness (30 by default).
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"

cxx="${SOM_FUZZ_CXX:-clang++}"
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzzing skipped: $cxx not found (the corpus still runs as the fuzz_replay_* tests)"
  exit 0
fi

seconds="${SOM_FUZZ_SECONDS:-30}"
jobs="${SOM_JOBS:-2}"
build="$root/build-fuzz"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release \
  -DSOM_FUZZ=ON -DSOM_BUILD_TESTS=OFF -DSOM_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_setup fuzz_count fuzz_load fuzz_assignments fuzz_weights fuzz_labels fuzz_table fuzz_placements

# The harnesses write the files they test into their working folder; a memory
# file system keeps the syncs of the state-file writer cheap.
scratch_root=/dev/shm
[ -d "$scratch_root" ] && [ -w "$scratch_root" ] || scratch_root="$build"
work="$(mktemp -d "$scratch_root/som_fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# Runs one harness; prints one line (and the log's end on failure).
fuzz_one() {
  local name="$1"
  # New inputs go to a working copy; the committed corpus is only read.
  local corpus="$work/corpus_$name"
  mkdir -p "$corpus" "$work/run_$name"
  local max_len=4096
  case "$name" in count|load) max_len=40000 ;; esac
  local log="$build/fuzz_$name.log"
  local start
  start=$(date +%s)
  if (cd "$work/run_$name" && "$build/fuzz/fuzz_$name" "$corpus" "$root/fuzz/corpus/$name" \
        -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/${name}-" >"$log" 2>&1); then
    local runs cov
    runs=$(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -1)
    echo "fuzz_$name: ok, $(( $(date +%s) - start )) s, ${runs:-?} runs, ${cov:-cov: ?}"
  else
    echo "fuzz_$name: FAILED after $(( $(date +%s) - start )) s; last lines of $log:"
    tail -n 40 "$log"
    return 1
  fi
}

# As many harnesses side by side as there are cores to run them.
status=0
pids=()
for name in setup count load assignments weights labels table placements; do
  fuzz_one "$name" &
  pids+=("$!")
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
exit "$status"
