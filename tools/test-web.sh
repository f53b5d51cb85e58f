#!/usr/bin/env bash
# The web build's tests: the library's unit tests built with Emscripten
# and run under node, then the game's page in headless Chromium
# (tests/web/page_test.js), compared with frames the native build draws
# on the Null driver (web_expected_frame).
#   tools/test-web.sh                    the groups web and web-page of tools/test.sh
#   tools/test-web.sh --page NATIVE WEB  the page test alone, on built trees
# The build goes to build/web-tests, compiled once at -O1 for the tests
# and the page alike (tools/test.sh says why).  The unit tests are one
# program (see tests/CMakeLists.txt); the pictures are drawn by the native
# build's make_art.  puppeteer-core, which only drives Debian's chromium, comes from
# npm as pinned by tests/web/package-lock.json, into build/web-node.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} != --page ]]; then
  exec tools/test.sh web web-page
fi
native=${2:?usage: tools/test-web.sh --page NATIVE WEB}
web=${3:?usage: tools/test-web.sh --page NATIVE WEB}
modules=build/web-node

if ! cmp -s tests/web/package-lock.json "$modules/package-lock.json" ||
   [[ ! -d $modules/node_modules/puppeteer-core ]]; then
  mkdir -p "$modules"
  cp tests/web/package.json tests/web/package-lock.json "$modules/"
  (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
fi
node tests/web/page_test.js "$web/game" "$web/run/imgs" "$native/tests/web_expected_frame" \
  "$modules/node_modules"
