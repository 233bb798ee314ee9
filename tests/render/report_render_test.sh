#!/usr/bin/env bash
# Trains the bundled colour example, writes its report and renders the report
# with headless Chromium; the screenshot must not be blank. Then renders the
# picture of the map in the data's space on a page of its own: its neurons,
# links and samples must show in their colours. Last, with labels for the
# colours (popisky.txt: each colour's strongest component) the labels' map
# and the neurons' profiles, and with --obraz 3x1 the neurons' weights as
# small images, must show on pages of their own. Exits with 77 (skipped) when
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

# section PAGE OUT ID...: the sections of PAGE with those ids alone, with the
# page's style sheet.
section() {
  python3 - "$@" <<'PY'
import re, sys
page = open(sys.argv[1]).read()
style = re.search(r'<style>.*?</style>', page, re.S).group(0)
sections = ''.join(re.search(r'<section id="%s">.*?</section>' % name, page, re.S).group(0)
                   for name in sys.argv[3:])
open(sys.argv[2], 'w').write('<!DOCTYPE html><html><head><meta charset="utf-8"/>' + style +
                             '</head><body>' + sections + '</body></html>')
PY
}

section "$work/run/report.html" "$work/space.html" prostor
render "$work/space.html" "$work/space.png"
python3 "$(dirname "$0")/png_colours.py" --space "$work/space.png"

# Labels, and the neurons' weights as profiles and as images.
awk '{ print ($1 >= $2 && $1 >= $3) ? "cervena" : ($2 >= $3 ? "zelena" : "modra") }' \
  "$work/run/data.txt" >"$work/run/popisky.txt"
(cd "$work/run" && "$som_report" >/dev/null)
section "$work/run/report.html" "$work/labels.html" popisky vahy
render "$work/labels.html" "$work/labels.png"
python3 "$(dirname "$0")/png_colours.py" --labels "$work/labels.png"
(cd "$work/run" && "$som_report" --obraz 3x1 >/dev/null)
section "$work/run/report.html" "$work/images.html" vahy
render "$work/images.html" "$work/images.png"
python3 "$(dirname "$0")/png_colours.py" --images "$work/images.png"
