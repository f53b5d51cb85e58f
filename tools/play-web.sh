#!/usr/bin/env bash
# Builds the game's web page (tools/build-web.sh) and serves it on this
# machine only (127.0.0.1), with the headers a page of threads needs,
# until Ctrl+C.  Prints the address to open in a browser.
#   tools/play-web.sh [PORT]    (default 8080; 0 picks a free one)
set -euo pipefail
cd "$(dirname "$0")/.."
echo "play-web.sh: building the page (the first time takes a minute or two)"
tools/build-web.sh >/dev/null
echo "play-web.sh: serving build/web until Ctrl+C; open this address in a browser:"
exec python3 -u tools/web_server.py build/web "${1:-8080}" shooter.html
