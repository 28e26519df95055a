#!/usr/bin/env bash
# Makes docs/screenshot.png, the picture in the README: hexpage on the sample file in a
# real xterm on a virtual X display, the cursor moved and a value being typed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh build-essential cmake xvfb xterm xdotool imagemagick fonts-dejavu-core
cmake --workflow --preset release >/dev/null

work="$(mktemp -d)"
cp examples/sample.bin "$work/sample.bin" # the value typed goes into this copy only
cleanup() {
    kill "${xterm:-}" "${xvfb:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb names its display on the descriptor once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
until [[ -s "$work/display" ]]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

xterm -geometry 80x24+0+0 -fa 'DejaVu Sans Mono' -fs 12 -bg black -fg grey90 -bw 0 \
    -title hexpage -e build/release/hexpage "$work/sample.bin" &
xterm=$!
window="$(xdotool search --sync --name '^hexpage$' | head -n 1)"

# No window manager: keys go to the window under the pointer. The pauses let xterm draw.
xdotool mousemove --window "$window" 40 40
sleep 1
# Page Up then Page Down draws the first page again, without the page count over it.
for key in Prior Next Right Right Right Down Down e 4 f; do
    xdotool key "$key"
    sleep 0.2
done
sleep 1

import -window "$window" "$work/screen.png"
convert "$work/screen.png" -colors 32 +dither -strip docs/screenshot.png
echo "docs/screenshot.png: $(stat -c %s docs/screenshot.png) bytes"
