#!/usr/bin/env bash
# Trains the bundled colour example, writes its report and renders the report
# with headless Chromium; the screenshot must not be blank. Then renders the
# picture of the map in the data's space on a page of its own: its neurons,
# links and samples must show in their colours. Exits with 77 (skipped) when
# Chromium is not installed.
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

# render PAGE SCREENSHOT: headless Chromium's picture of the page.
render() {
  timeout 180 "$chromium" --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/profile" \
    --screenshot="$2" --window-size=1200,3000 "file://$1" >"$work/chromium.log" 2>&1 || {
    cat "$work/chromium.log"
    exit 1
  }
  if [ ! -s "$2" ]; then
    cat "$work/chromium.log"
    echo "chromium nevytvoril snimek"
    exit 1
  fi
}

shot="$work/report.png"
render "$work/run/report.html" "$shot"
# SOM_RENDER_KEEP may name a file to keep the screenshot in, for a look by hand.
if [ -n "${SOM_RENDER_KEEP:-}" ]; then cp "$shot" "$SOM_RENDER_KEEP"; fi
python3 "$(dirname "$0")/png_colours.py" "$shot"

# The data-space picture alone, with the page's style sheet.
python3 - "$work/run/report.html" "$work/space.html" <<'PY'
import re, sys
page = open(sys.argv[1]).read()
style = re.search(r'<style>.*?</style>', page, re.S).group(0)
section = re.search(r'<section id="prostor">.*?</section>', page, re.S).group(0)
open(sys.argv[2], 'w').write('<!DOCTYPE html><html><head><meta charset="utf-8"/>' + style +
                             '</head><body>' + section + '</body></html>')
PY
render "$work/space.html" "$work/space.png"
python3 "$(dirname "$0")/png_colours.py" --space "$work/space.png"
