#!/usr/bin/env bash
# Windows: cross-builds som_train.exe and the tests with mingw-w64 into
# build-windows/ and runs the whole suite under wine; then makes the zip for
# Windows users from the same build (build-windows/som_train-<version>-
# windows-x86_64.zip) and runs the example from it unpacked, under wine
# (scripts/check_package.sh). Installs the compiler, wine and the tests' zlib
# for mingw first when they are missing (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs="${SOM_JOBS:-2}"
build=build-windows
export PATH="$PATH:/usr/lib/wine"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine64 >/dev/null ||
  [ ! -e /usr/x86_64-w64-mingw32/include/zlib.h ]; then
  echo "installing mingw-w64, wine and zlib for mingw-w64"
  packages=(g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev)
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  # The package lists are fetched only when they do not know the packages.
  if ! apt-cache show "${packages[@]}" >/dev/null 2>&1; then
    "${as_root[@]}" apt-get update -qq
  fi
  if ! "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; then
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
  fi
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_TESTS=ON -DSOM_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake >/dev/null

# The first start of wine in a fresh prefix sets the prefix up, which takes
# a while, and every first start after the wine server has stopped launches
# wine's own background processes: do both here, once, with the output going
# nowhere, not inside a timed test whose output is being read. The server is
# kept running (and so every later start quick) until the end of this step.
export WINEDEBUG=-all
export WINEPREFIX="$PWD/$build/wineprefix"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p 2>/dev/null || true  # fails only when one already runs
wine64 wineboot --init </dev/null >/dev/null 2>&1

cmake --build "$build" -j "$jobs"
# wine's server has been seen to drop its clients now and then under load:
# a test that fails that way (wine's messages in its output, or a time-out)
# gets one more try, printed; a test that fails otherwise stays failed.
bash scripts/ctest_under_wine.sh "$build" -j "$jobs"
bash scripts/check_package.sh "$build"
