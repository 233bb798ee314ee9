#!/usr/bin/env bash
# som_data's benchmark: converts a 1,000,000 x 32 CSV (about 600 MB, written
# by bench/make_table.py once) REPEATS times with som_data as it runs by
# default (the table read on the processor's threads, up to 8), and as often
# with --vlakna 1 (row after row on one thread), and times som_train's
# reading of the data.txt it wrote as often, on the same machine, in turns.
# som_train reads alone where the run trains next to nothing: a 1 x 1 map
# and a single epoch (stop_radius 2: the first epoch's squared radius is 1),
# so its time is the two passes over data.txt, the one epoch over the
# samples on one neuron (about 3 x 10^7 operations) and the writing of
# vystup.txt. Prints the machine (lscpu's model name, the processors, the
# load average before and after), each run's wall, user and system times
# and peak memory (/usr/bin/time -v), then the medians and the ratios to
# som_train's reading, of the wall times and of the processor times (user +
# system).
#
# usage: bench/table_bench.sh [REPEATS]   (default 5)
# BUILD_DIR (default build-bench) picks the build folder; TABLE an existing
# table to use instead of generating one.
set -euo pipefail
cd "$(dirname "$0")/.."
repeats="${1:-5}"
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${SOM_JOBS:-2}" --target som_data som_train >/dev/null
work="$(pwd)/$build/table-bench"
mkdir -p "$work"
table="${TABLE:-$work/table.csv}"
[ -f "$table" ] || python3 bench/make_table.py "$table"
som_data="$(pwd)/$build/src/table/som_data"
som_train="$(pwd)/$build/src/som_train"

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# One timed run: prints "wall user system peak_kB".
timed() {
  local log="$1"
  shift
  /usr/bin/time -v "$@" >"$log.out" 2>"$log.time"
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = (n == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
    /User time/ { user = $2 }
    /System time/ { sys = $2 }
    /Maximum resident set size/ { peak = $2 }
    END { printf "%.2f %.2f %.2f %d\n", wall, user, sys, peak }' "$log.time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

programs="som_data som_data_1 som_train"
for program in $programs; do : >"$work/$program.times"; done
for r in $(seq "$repeats"); do
  for variant in som_data som_data_1; do
    rm -rf "$work/folder"
    mkdir "$work/folder"
    threads=()
    [ "$variant" = som_data_1 ] && threads=(--vlakna 1)
    result="$(cd "$work/folder" && timed "$work/${variant}_$r" "$som_data" "$table" ${threads[@]+"${threads[@]}"})"
    printf '%-10s run %s: %s (wall s, user s, system s, peak kB)\n' "$variant" "$r" "$result"
    echo "$result" >>"$work/$variant.times"
  done
  printf '1\tmap_rows\n1\tmap_cols\n32\tdimension\n1\tradius_decay\n1\trate_decay\n2\tstop_radius\n0\tKrok\n1\tseed\n' \
    >"$work/folder/setup.txt"
  result="$(cd "$work/folder" && timed "$work/train_$r" "$som_train")"
  printf '%-10s run %s: %s\n' som_train "$r" "$result"
  echo "$result" >>"$work/som_train.times"
done
for program in $programs; do
  for field in 1 2 3 4; do
    values[$field]="$(cut -d' ' -f"$field" "$work/$program.times" | median)"
  done
  cpu="$(awk '{ print $2 + $3 }' "$work/$program.times" | median)"
  echo "$program median: wall ${values[1]} s, user ${values[2]} s, system ${values[3]} s, user + system $cpu s, peak ${values[4]} kB"
  eval "${program}_wall=${values[1]} ${program}_cpu=$cpu"
done
for program in som_data som_data_1; do
  eval "wall=\$${program}_wall cpu=\$${program}_cpu"
  awk -v name="$program" -v a="$wall" -v b="$som_train_wall" -v c="$cpu" -v d="$som_train_cpu" \
    'BEGIN { printf "%s / som_train reading: wall %.2f, user + system %.2f\n", name, a / b, c / d }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
