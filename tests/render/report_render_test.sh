#!/usr/bin/env bash
# Trains the bundled colour example, writes its report and renders the report
# with headless Chromium; the screenshot must not be blank. Then renders the
# picture of the map in the data's space on a page of its own: its neurons,
# links and samples must show in their colours. Last, with labels for the
# colours (popisky.txt: each colour's strongest component) the labels' map
# and the neurons' profiles, and with --obraz 3x1 the neurons' weights as
# small images, must show on pages of their own. Then the same colours
# standardised, with sloupce.txt naming the columns with text that is not
# markup and a name far longer than a picture, in a folder whose name is not
# markup either: every picture on the page (the PNGs and the SVGs in their
# <img>) must load, the title and the planes' captions must read as written,
# the long name must not widen its plane, and the samples in the data space
# must show in their labels' colours. Exits with 77 (skipped) when Chromium
# is not installed.
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

# The columns' names and units: the colours standardised by their means and
# standard deviations, as som_data writes them.
named="$work/beh & <1> ř"
mkdir "$named"
cp "$work/run/setup.txt" "$work/run/popisky.txt" "$named/"
python3 - "$work/run/data.txt" "$named" <<'PY'
import statistics, sys
rows = [[float(v) for v in line.split()] for line in open(sys.argv[1])]
names = ['červená <R>', 'zelená & "G"', 'modrá_' + 'x' * 150]
columns = list(zip(*rows))
centres = [statistics.mean(c) for c in columns]
scales = [statistics.stdev(c) for c in columns]
with open(sys.argv[2] + '/sloupce.txt', 'w') as f:
    f.write('nazev\tstred\tmeritko\n')
    for name, centre, scale in zip(names, centres, scales):
        f.write(f'{name}\t{centre!r}\t{scale!r}\n')
with open(sys.argv[2] + '/data.txt', 'w') as f:
    for row in rows:
        f.write(' '.join(repr((x - c) / s) for x, c, s in zip(row, centres, scales)) + '\n')
PY
(cd "$named" && "$som_train" >/dev/null && "$som_report" >/dev/null)

# What the browser made of the page: a script added to a copy of it writes
# the title, whether each picture loaded, and the planes' captions and
# widths into the page, which Chromium prints once loaded.
python3 - "$named/report.html" "$work/probe.html" <<'PY'
import sys
page = open(sys.argv[1], encoding='utf-8').read()
probe = """<script>window.addEventListener('load', () => {
  const out = {title: document.title,
    images: [...document.images].map(i => [i.className, i.complete && i.naturalWidth > 0]),
    captions: [...document.querySelectorAll('#slozky figcaption')].map(f => f.textContent),
    widths: [...document.querySelectorAll('#slozky figure')].map(f => f.getBoundingClientRect().width)};
  const pre = document.createElement('pre');
  pre.id = 'probe';
  pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
});</script>"""
open(sys.argv[2], 'w', encoding='utf-8').write(page.replace('</body>', probe + '</body>'))
PY
timeout 180 "$chromium" --headless --no-sandbox --disable-gpu --disable-background-networking \
  --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/profile" \
  --dump-dom "file://$work/probe.html" >"$work/dom.html" 2>"$work/chromium.log" || {
  cat "$work/chromium.log"
  exit 1
}
python3 - "$work/dom.html" <<'PY'
import html, json, re, sys
found = re.search(r'<pre id="probe">(.*?)</pre>', open(sys.argv[1], encoding='utf-8').read(), re.S)
if not found:
    sys.exit('the probe of the page with sloupce.txt did not run')
probe = json.loads(html.unescape(found.group(1)))
print(json.dumps(probe, ensure_ascii=False))
expected_title = 'beh & <1> ř - Samoorganizujici mapa 12 x 12'
if probe['title'] != expected_title:
    sys.exit(f'title {probe["title"]!r}, expected {expected_title!r}')
kinds = sorted(kind for kind, _ in probe['images'])
# U-matrix, hits, colours, labels, three planes; the weights; the data space; two curves.
if kinds != sorted(['cells'] * 7 + ['codebook', 'space', 'curve', 'curve']):
    sys.exit(f'unexpected pictures: {kinds}')
if not all(loaded for _, loaded in probe['images']):
    sys.exit(f'pictures that did not load: {probe["images"]}')
captions = ['červená <R> (slozka 1)', 'zelená & "G" (slozka 2)', 'modrá_' + 'x' * 150 + ' (slozka 3)']
if probe['captions'] != captions:
    sys.exit(f'captions {probe["captions"]}')
if max(probe['widths']) > 400:
    sys.exit(f'a long name widens its plane: {probe["widths"]}')
PY
section "$named/report.html" "$work/named_space.html" prostor
render "$work/named_space.html" "$work/named_space.png"
python3 "$(dirname "$0")/png_colours.py" --labelled-space "$work/named_space.png"
