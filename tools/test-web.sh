#!/usr/bin/env bash
# The web build's tests: the library's unit tests built with Emscripten
# and run under node, then the game's page in headless Chromium
# (tests/web/page_test.js), compared with frames the native build draws
# on the Null driver (web_expected_frame).
#   tools/test-web.sh [NATIVE_BUILD]   (default build/release)
# The build goes to build/web-tests, compiled at -O1: linking at -O2 and
# above runs the wasm optimiser over every test program, which costs
# minutes.  puppeteer-core, which only drives Debian's chromium, comes
# from npm as pinned by tests/web/package-lock.json, into build/web-node.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh test
native=${1:-build/release}
web=build/web-tests
modules=build/web-node
jobs=$(nproc)
# emcc's JavaScript tools need acorn, which Debian ships as node-acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

if [[ ! -f $native/CMakeCache.txt ]]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$native" -j"$jobs" --target web_expected_frame >/dev/null

emcmake cmake -S . -B "$web" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" \
  -DFB_WERROR=ON -DFB_BENCH=OFF -DFB_EXAMPLES=OFF -DFB_INSTALL=OFF \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$(command -v node);--no-experimental-fetch" >/dev/null
cmake --build "$web" -j"$jobs"
(cd "$web" && ctest --output-on-failure -j"$jobs" -L 'unit|threads')

if ! cmp -s tests/web/package-lock.json "$modules/package-lock.json" ||
   [[ ! -d $modules/node_modules/puppeteer-core ]]; then
  mkdir -p "$modules"
  cp tests/web/package.json tests/web/package-lock.json "$modules/"
  (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
fi
node tests/web/page_test.js "$web/game" "$web/run/imgs" "$native/tests/web_expected_frame" \
  "$modules/node_modules"
