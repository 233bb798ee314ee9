#!/usr/bin/env bash
# Builds and runs the tests.
#
#   ./check.sh quick   the release build (build/, without the benchmarks)
#                      and its suite but the heavy sweeps (the tests labelled
#                      heavy_*: see tests/CMakeLists.txt); installs nothing.
#                      The everyday check: under three minutes on two cores.
#   ./check.sh         the full check, as CI runs it (.ci/run): the release
#                      build and its whole suite, heavy sweeps included,
#                      first, so that a failing test shows within minutes, then
#                      the extra steps of scripts/check.d in name order
#                      (installs, the Linux package, sanitizers, fuzzing,
#                      Windows and its zip under wine).
#                      Last, when the first part skipped tests, the release
#                      suite runs again, as the steps may have installed what
#                      they lacked (Chromium, the cs_CZ locale); when none was
#                      skipped, the first part's summary is printed again.
#                      Either way a CTest summary of the whole release suite
#                      ends the output.
# Any failure stops the check there. Warnings are errors (SOM_WERROR) in every
# build made here. The full check's release build compiles the benchmarks
# too (bench/, never run here), so that a change that breaks them shows.
set -euo pipefail
cd "$(dirname "$0")"
export SOM_JOBS="${SOM_JOBS:-$(nproc 2>/dev/null || echo 2)}"

mode="${1:-full}"
case "$mode" in
  quick | full) ;;
  *)
    echo "usage: ./check.sh [quick]" >&2
    exit 2
    ;;
esac

release_log=build/ctest-release.log

echo "== release build and tests"
# The quick check leaves the benchmarks out of its build; the full check
# builds them.
bench=ON
[ "$mode" = quick ] && bench=OFF
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_TESTS=ON -DSOM_BUILD_BENCH=$bench -DSOM_WERROR=ON >/dev/null
cmake --build build -j "$SOM_JOBS"
if [ "$mode" = quick ]; then
  exec ctest --test-dir build --output-on-failure -j "$SOM_JOBS" -LE heavy
fi
ctest --test-dir build --output-on-failure -j "$SOM_JOBS" 2>&1 | tee "$release_log"

for step in scripts/check.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== ${step##*/}"
  bash "$step"
done

# The release suite runs once more when the first part skipped some of its
# tests, as the steps may have installed what they lacked. The whole suite
# reruns, not only the skipped tests: where a test is still skipped (AVX-512
# kernels on a machine without AVX-512), a rerun of the skipped ones alone
# would end the output with a summary in which nothing ran.
if grep -q '(Skipped)$' "$release_log"; then
  echo "== release tests again, after the extra steps"
  ctest --test-dir build --output-on-failure -j "$SOM_JOBS"
else
  echo "== release tests (every one ran in the first part)"
  sed -n '/tests passed, /,$p' "$release_log"
fi
