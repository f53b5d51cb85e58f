#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture, from the game's own
# frame: builds the game's pictures and the screenshot tool (in
# build/screenshot), plays about 23 s on the Null driver without any
# display, and converts the last frame to a 768 x 576 PNG of 256 colours
# with ImageMagick.  The same sources give the same file.
#   tools/screenshot.sh [FRAMES]    FRAMES: how long to play, 60 a second
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh screenshot
build=build/screenshot
out=docs/screenshot.png

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFB_TESTS=OFF -DFB_BENCH=OFF \
  -DFB_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target screenshot >/dev/null
frame=$(mktemp --suffix=.ppm)
trap 'rm -f "$frame"' EXIT
(cd "$build/run" && env -u DISPLAY -u SCRDRIVER ../game/screenshot "$frame" "$@")
mkdir -p docs
# No time stamps in the file, so that an unchanged game gives an unchanged
# picture.
convert "$frame" -strip -define png:exclude-chunks=date,time -resize 75% -colors 256 \
  "PNG8:$out"
echo "screenshot.sh: wrote $out ($(stat -c %s "$out") bytes)"
