#!/usr/bin/env bash
# Builds and runs every test: the extra builds and checks of scripts/check.d
# first (in name order), then the release build's whole suite, whose summary
# is the last thing printed.
set -euo pipefail
cd "$(dirname "$0")"
export SOM_JOBS="${SOM_JOBS:-$(nproc 2>/dev/null || echo 2)}"

for step in scripts/check.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== ${step##*/}"
  bash "$step"
done

echo "== release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$SOM_JOBS"
ctest --test-dir build --output-on-failure -j "$SOM_JOBS"
