#!/usr/bin/env bash
# Trains the bundled colour example, writes its report and renders the report
# with headless Chromium; the screenshot must not be blank. Exits with 77
# (skipped) when Chromium is not installed.
# Arguments: som_train, som_report, the source folder.
set -euo pipefail
som_train=$1
som_report=$2
source_dir=$3
chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "chromium chybi, test se preskakuje"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" "$work/profile"
cp "$source_dir/examples/colors/setup.txt" "$source_dir/examples/colors/data.txt" "$work/run/"
(cd "$work/run" && "$som_train" >/dev/null && "$som_report")

shot="$work/report.png"
timeout 180 "$chromium" --headless --no-sandbox --disable-gpu --disable-background-networking \
  --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/profile" \
  --screenshot="$shot" --window-size=1200,3000 "file://$work/run/report.html" >"$work/chromium.log" 2>&1 || {
  cat "$work/chromium.log"
  exit 1
}
if [ ! -s "$shot" ]; then
  cat "$work/chromium.log"
  echo "chromium nevytvoril snimek"
  exit 1
fi
# SOM_RENDER_KEEP may name a file to keep the screenshot in, for a look by hand.
if [ -n "${SOM_RENDER_KEEP:-}" ]; then cp "$shot" "$SOM_RENDER_KEEP"; fi
python3 "$(dirname "$0")/png_colours.py" "$shot"
