#!/usr/bin/env bash
# Makes the package of a build (the zip of a mingw-w64 build, the .tar.gz of
# a Linux one) and checks it as a user meets it:
# - `cmake --install` into an empty folder puts exactly the expected files
#   there, both programs among them;
# - the package holds exactly those files, under one top folder;
# - unpacked into an empty folder, its programs (a zip's under wine) run the
#   bundled example in its folder there and give the reference results of
#   tests/data/colors, a first run and a continued one with CR LF inputs, as
#   the PlatformExample test does; then som_report writes report.html,
#   som_map places the example's samples on its map, and `som_report
#   --version` and `som_map --version` print the project's version;
#   som_data turns the example's samples, as a CSV with a title row, into a
#   folder that som_train trains and som_map maps the CSV on, and
#   `som_data --version` prints the version.
# So a program that needs a DLL the zip lacks, or a file missing from it,
# fails the check.
#
#   scripts/check_package.sh BUILD_DIR
#
# The files of the check stay in BUILD_DIR/package-check/ for a look.
set -euo pipefail
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
reference="$root/tests/data/colors"
work="$build/package-check"

fail() {
  echo "package check: $*" >&2
  exit 1
}

config="$build/CPackConfig.cmake"
[ -f "$config" ] || fail "$config is missing: configure $build first"
cpack_value() { sed -nE "s/^set\($1 \"(.*)\"\)$/\1/p" "$config"; }
name="$(cpack_value CPACK_PACKAGE_FILE_NAME)"
version="$(cpack_value CPACK_PACKAGE_VERSION)"
generator="$(cpack_value CPACK_GENERATOR)"

# Where each platform's install puts things, how its programs are started,
# and its line end.
case "$generator" in
  ZIP)
    package="$build/$name.zip"
    bin_dir=""
    doc_dir=""
    exe=.exe
    wine="$(sed -n 's/^SOM_WINE:FILEPATH=//p' "$build/CMakeCache.txt")"
    [ -x "$wine" ] || fail "no wine in $build/CMakeCache.txt (SOM_WINE)"
    export WINEDEBUG=-all
    export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
    run=("$wine")
    crlf=1
    ;;
  TGZ)
    package="$build/$name.tar.gz"
    bin_dir="bin/"
    doc_dir="share/doc/som_train/"
    exe=""
    run=()
    crlf=0
    ;;
  *) fail "unexpected CPACK_GENERATOR \"$generator\"" ;;
esac
example="${doc_dir}examples/colors"
expected="$(printf '%s\n' "${bin_dir}som_train$exe" "${bin_dir}som_report$exe" "${bin_dir}som_data$exe" "${bin_dir}som_map$exe" \
  "${doc_dir}README.md" "${doc_dir}CTI_ME.txt" "${doc_dir}LICENSE.txt" \
  "${doc_dir}LICENSE-digits.txt" "$example/setup.txt" "$example/data.txt" | LC_ALL=C sort)"

# Compares a list of files (one per line) with the expected one.
expect_files() {
  local what="$1" got="$2"
  if [ "$got" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$got") |
      sed -n 's/^< /  missing: /p; s/^> /  not expected: /p' >&2 || true
    fail "$what does not hold the expected files"
  fi
}

rm -rf "$work"
mkdir -p "$work/install" "$work/unpacked" "$work/console" "$work/expected"

cmake --build "$build" -j "${SOM_JOBS:-2}" --target som_train som_report som_data som_map >/dev/null
cmake --install "$build" --prefix "$work/install" >/dev/null
expect_files "the install folder" "$(cd "$work/install" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"

rm -f "$package"
cpack --config "$config" -B "$build" >/dev/null
[ -f "$package" ] || fail "cpack made no $package"
case "$generator" in
  ZIP) listing="$(unzip -Z1 "$package")" ;;
  TGZ) listing="$(tar -tzf "$package")" ;;
esac
outside="$(grep -v "^$name/" <<<"$listing" || true)"
[ -z "$outside" ] || fail "entries outside the top folder $name/: $outside"
expect_files "$package" "$(grep -v '/$' <<<"$listing" | sed "s|^$name/||" | LC_ALL=C sort)"
echo "$package: $(wc -c <"$package") bytes, $(wc -l <<<"$expected") files"

case "$generator" in
  ZIP) unzip -q "$package" -d "$work/unpacked" ;;
  TGZ) tar -xzf "$package" -C "$work/unpacked" ;;
esac
top="$work/unpacked/$name"
folder="$top/$example"

if [ "$generator" = ZIP ]; then
  # Only DLLs that every 64-bit Windows has: no runtime of the compiler's.
  objdump="$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")"
  for program in som_train som_report som_data som_map; do
    others="$("$objdump" -p "$top/$program.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
      grep -viE '^(kernel32|msvcrt|advapi32|user32|ws2_32|bcrypt)\.dll$' || true)"
    [ -z "$others" ] || fail "$program.exe needs DLLs that Windows does not have: $others"
  done
fi

# Checks that a text file ends every line with the host's line end and that,
# line ends aside, it is the reference text.
expect_text() {
  local file="$1" reference_file="$2" what="$3"
  [ -s "$file" ] || fail "$what: missing or empty"
  [ "$(tail -c 1 "$file" | od -An -tx1 | tr -d ' ')" = 0a ] || fail "$what: no line end at the end"
  local bad
  if [ "$crlf" = 1 ]; then
    bad="$(grep -cv $'\r$' "$file" || true)"
  else
    bad="$(grep -c $'\r' "$file" || true)"
  fi
  [ "$bad" = 0 ] || fail "$what: $bad lines without the host's line end"
  if ! sed 's/\r$//' "$file" | cmp -s - "$reference_file"; then
    sed 's/\r$//' "$file" | diff "$reference_file" - | head -n 10 >&2 || true
    fail "$what differs from $reference_file"
  fi
}

# Runs one program of the package in the example's folder; its console goes
# to $work/console/<label>.txt (what it writes to stderr, to <label>.err).
run_program() {
  local program="$1" label="$2"
  shift 2
  local status=0
  (cd "$folder" && "${run[@]}" "$top/${bin_dir}$program$exe" "$@") \
    >"$work/console/$label.txt" 2>"$work/console/$label.err" || status=$?
  if [ "$status" != 0 ]; then
    cat "$work/console/$label.txt" "$work/console/$label.err" >&2
    fail "$program ($label) ended with status $status"
  fi
}

# Runs som_train and compares everything it printed and wrote with the
# reference files that start with `prefix`.
train_and_compare() {
  local prefix="$1"
  run_program som_train "$prefix"
  expect_text "$work/console/$prefix.txt" "$reference/${prefix}console.txt" "${prefix}console"
  for file in trenovani.txt vystup.txt konecne_parametry.txt; do
    expect_text "$folder/$file" "$reference/$prefix$file" "$prefix$file"
  done
  cmp -s "$folder/vahy.bin" "$reference/${prefix}vahy.bin" || fail "${prefix}vahy.bin differs from the reference"
}

train_and_compare run1_
# Entry 7 (Krok) back to 7000 and every line end CR LF: the second run trains
# the last 150 epochs again from the first run's map, and warns that the map
# was saved at Krok 7150.
sed -n '7p' "$folder/setup.txt" | grep -q $'^0\t' || fail "line 7 of the example's setup.txt is not Krok 0"
sed -i -e 's/\r$//' -e $'7s/^0\t/7000\t/' -e 's/$/\r/' "$folder/setup.txt"
sed -i -e 's/\r$//' -e 's/$/\r/' "$folder/data.txt"
train_and_compare run2_

run_program som_report report
echo "Prehled mapy je v souboru report.html." >"$work/expected/report.txt"
expect_text "$work/console/report.txt" "$work/expected/report.txt" "som_report's console"
grep -q '</html>' "$folder/report.html" || fail "report.html is not a whole page"
[ ! -e "$folder/report.html.tmp" ] || fail "report.html.tmp was left behind"
run_program som_report version --version
echo "som_report $version" >"$work/expected/version.txt"
expect_text "$work/console/version.txt" "$work/expected/version.txt" "som_report --version"
run_program som_map map_version --version
echo "som_map $version" >"$work/expected/map_version.txt"
expect_text "$work/console/map_version.txt" "$work/expected/map_version.txt" "som_map --version"
# The example's own samples placed on its map: every one, and zarazeni.txt
# with a header and a line per sample.
run_program som_map map data.txt
head -n 1 "$work/console/map.txt" | grep -q '^Zarazeno 300 vzorku ze souboru data.txt na mapu 12 x 12\.' ||
  fail "som_map's console: $(head -n 1 "$work/console/map.txt")"
[ "$(wc -l <"$folder/zarazeni.txt")" = 301 ] || fail "zarazeni.txt does not hold 300 samples"
# som_data makes a folder from a table (the example's own samples with a
# title row and commas, as a spreadsheet exports them), and som_train trains it.
table_folder="$work/table"
mkdir -p "$table_folder"
{
  echo "red,green,blue"
  sed 's/\r$//; s/^[[:space:]]*//; s/[[:space:]]\{1,\}/,/g' "$root/examples/colors/data.txt"
} >"$table_folder/colors.csv"
folder_before="$folder"
folder="$table_folder"
run_program som_data data colors.csv
grep -q "^Zapsano: data.txt, sloupce.txt, setup.txt (300 vzorku, dimenze 3)." "$work/console/data.txt" ||
  fail "som_data did not write the folder: $(cat "$work/console/data.txt")"
run_program som_train table_train
[ "$(tail -n 1 "$work/console/table_train.txt" | tr -d '\r')" = "Hello world!" ] || fail "som_train did not train som_data's folder"
# som_map reads the same table against sloupce.txt, in the table's units.
run_program som_map table_map colors.csv
head -n 1 "$work/console/table_map.txt" | grep -q '^Zarazeno 300 vzorku ze souboru colors.csv na mapu' ||
  fail "som_map did not map som_data's table: $(head -n 1 "$work/console/table_map.txt")"
run_program som_data data_version --version
echo "som_data $version" >"$work/expected/data_version.txt"
expect_text "$work/console/data_version.txt" "$work/expected/data_version.txt" "som_data --version"
folder="$folder_before"
echo "package check: $name passes (the example under ${run[0]:-the host}, the report, the mapping, som_data, the versions)"
