# Shared by bench/run.sh and bench/compare.sh (sourced, with $root set to
# the folder that holds workloads/): timing whole runs of the program.

# The files every run writes, compared between builds.
outputs=(vahy.bin vystup.txt konecne_parametry.txt trenovani.txt)

# Runs one program in a fresh copy of a workload (its setup, its data and,
# for a continued workload, its saved map); prints its wall seconds.
run_once() {
  local program="$1" workload="$2" folder="$3"
  rm -rf "$folder"
  mkdir -p "$folder"
  local file
  for file in setup.txt data.txt vahy.bin vystup.txt; do
    if [ -e "$root/workloads/$workload/$file" ]; then
      cp "$root/workloads/$workload/$file" "$folder/"
    fi
  done
  local start end
  start=$(date +%s.%N)
  (cd "$folder" && "$program" >console.txt)
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
