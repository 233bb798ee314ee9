#!/usr/bin/env bash
# Builds and runs the tests.
#
#   ./check.sh quick   the release build (build/) and its whole suite; installs
#                      nothing. The everyday check: a few minutes.
#   ./check.sh         the full check, as CI runs it (.ci/run): the quick part
#                      first, so that a failing test shows within minutes, then
#                      the extra steps of scripts/check.d in name order
#                      (installs, the Linux package, sanitizers, fuzzing,
#                      Windows and its zip under wine).
#                      Last, the release tests that the quick part skipped run
#                      again, as the steps may have installed what they lacked
#                      (Chromium, the cs_CZ locale); when none was skipped, the
#                      quick part's summary is printed again. Either way a
#                      CTest summary of the release suite ends the output.
# Any failure stops the check there. Warnings are errors (SOM_WERROR) in every
# build made here.
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
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_TESTS=ON -DSOM_WERROR=ON >/dev/null
cmake --build build -j "$SOM_JOBS"
ctest --test-dir build --output-on-failure -j "$SOM_JOBS" 2>&1 | tee "$release_log"

[ "$mode" = quick ] && exit 0

for step in scripts/check.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== ${step##*/}"
  bash "$step"
done

# The numbers of the release tests skipped above ("<tab> 19 - Name (Skipped)").
skipped="$(sed -n '/^The following tests did not run:/,/^$/p' "$release_log" |
  sed -nE 's/^[[:space:]]+([0-9]+) - .* \(Skipped\)$/\1/p' | paste -sd, -)"
if [ -n "$skipped" ]; then
  echo "== release tests skipped before the extra steps, run again"
  ctest --test-dir build --output-on-failure -j "$SOM_JOBS" -I "0,0,0,$skipped"
else
  echo "== release tests (every one ran in the first part)"
  sed -n '/tests passed, /,$p' "$release_log"
fi
