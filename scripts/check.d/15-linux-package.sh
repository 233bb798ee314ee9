#!/usr/bin/env bash
# The Linux package: builds the programs in build/ (the release build of
# ./check.sh), checks what `cmake --install` puts where, makes
# build/som_train-<version>-linux-x86_64.tar.gz and runs the example from it
# unpacked (scripts/check_package.sh). The zip for Windows is made and
# checked by the Windows step.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSOM_BUILD_TESTS=ON -DSOM_WERROR=ON >/dev/null
bash scripts/check_package.sh build
