#!/bin/sh
# Valgrind's memcheck over one complete fresh run and one continued run of a
# small map: any memory error, and any leak of any kind, fails the test.
# Usage: valgrind_runs.sh <som_train> <data file>
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
program="$(absolute "$1")"
data="$(absolute "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

head -n 40 "$data" > data.txt
printf '6\tmap_rows\n6\tmap_cols\n3\tdimension\n10\tradius_decay\n100\trate_decay\n2\tstop_radius\n0\tKrok\n5\tseed\n' > setup.txt

memcheck() {
  valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all --track-origins=yes "$program" > console.txt
  status=$?
  cat console.txt
  if [ "$status" -ne 0 ] || [ "$(tail -n 1 console.txt)" != "Hello world!" ]; then
    echo "FAILED: $1 run under memcheck ended with status $status"
    exit 1
  fi
  echo "$1 run: no memcheck error, no leak"
}

set +e
memcheck fresh
# Continue the map: entry 7 takes the Krok that the fresh run reached.
krok="$(head -n 1 konecne_parametry.txt | cut -f 1)"
sed "7s/^0/$krok/" setup.txt > setup.next && mv setup.next setup.txt
memcheck continued
