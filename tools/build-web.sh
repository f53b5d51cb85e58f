#!/usr/bin/env bash
# Builds the game for a web page with Debian's Emscripten, into build/web/:
#   shooter.html (the page), shooter.js and shooter.worker.js, shooter.wasm,
#   and shooter.data, which carries the pictures to imgs/ as on the desktop.
# The pictures are drawn at build time by tools/make_art.cpp, built with
# this machine's own compiler.  The page needs a server that sends the
# cross-origin isolation headers: tools/play-web.sh builds and serves it.
#   tools/build-web.sh [BUILD_DIR]   (default build/web-build; output build/web)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh web
build=${1:-build/web-build}
out=build/web
# emcc's JavaScript tools need acorn, which Debian ships as node-acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "build-web.sh: configuring $build"
  emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFB_TESTS=OFF -DFB_BENCH=OFF \
    -DFB_EXAMPLES=OFF -DFB_INSTALL=OFF -DFB_WERROR=ON >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; rm -f "$build/CMakeCache.txt"; exit 1; }
fi
cmake --build "$build" -j"$(nproc)" --target shooter >"$build.log" 2>&1 ||
  { tail -n 40 "$build.log" >&2; echo "build-web.sh: the build failed (above)" >&2; exit 1; }
mkdir -p "$out"
for f in shooter.html shooter.js shooter.worker.js shooter.wasm shooter.data; do
  cp "$build/game/$f" "$out/$f"
done
echo "$out/shooter.html"
