#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (recovery off: the first report ends the process) in build-asan/ and runs the
# whole test suite there; the program runs that the tests start are the
# instrumented som_train too.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs="${SOM_JOBS:-2}"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DSOM_SANITIZE=ON -DSOM_BUILD_TESTS=ON \
  -DSOM_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"

# A failed allocation must reach the program as a null pointer (it reports
# "Malo pameti!"), not end the process inside the sanitizer.
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
