#!/usr/bin/env bash
# Builds the program and trains a map on the bundled colour example, in a
# copy of examples/colors under build/example/, then writes the map's report
# (build/example/report.html).
set -euo pipefail
cd "$(dirname "$0")"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target som_train som_report
mkdir -p build/example
cp examples/colors/setup.txt examples/colors/data.txt build/example/
rm -f build/example/vahy.bin build/example/vystup.txt build/example/konecne_parametry.txt
cd build/example
../src/som_train
../src/report/som_report
echo "Vysledky: $(pwd)"
echo "Obrazky mapy: $(pwd)/report.html"
