#!/usr/bin/env bash
# Makes sure the Debian packages a task needs are installed.
#   tools/deps.sh play|test|windows|bench|screenshot|web
# Installs what is missing with apt-get when run as root (or through sudo
# without a password); otherwise prints the one apt-get line that would and
# exits with status 1.
set -euo pipefail

case "${1:-}" in
  play) packages=(g++ cmake make libx11-dev libxext-dev pkgconf libwayland-dev libxkbcommon-dev
                  wayland-protocols) ;;
  # The test build also builds the benchmarks; the rivals rivals_bench
  # measures beside us (SDL2, pixman) come with "bench" only.
  test) packages=(g++ cmake make libx11-dev libxext-dev libgtest-dev libbenchmark-dev
                  pkgconf xvfb xdotool openbox x11-utils
                  g++-mingw-w64-x86-64-posix googletest wine wine64
                  libwayland-dev libxkbcommon-dev wayland-protocols sway wtype grim
                  emscripten nodejs python3 chromium) ;;
  windows) packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64) ;;
  # The web page: Emscripten (its JavaScript tools run on node) and
  # python3 for the page's server.
  web) packages=(g++ cmake make emscripten nodejs python3) ;;
  bench) packages=(g++ cmake make libx11-dev libxext-dev libbenchmark-dev pkgconf
                   libwayland-dev libxkbcommon-dev wayland-protocols sway
                   libsdl2-dev libpixman-1-dev util-linux) ;;
  screenshot) packages=(g++ cmake make libx11-dev libxext-dev imagemagick) ;;
  *) echo "usage: tools/deps.sh play|test|windows|bench|screenshot|web" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

install=(apt-get install -y --no-install-recommends "${missing[@]}")
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  sudo=(sudo -n)
else
  echo "Missing packages. Install them with:"
  echo "  sudo apt-get update && sudo ${install[*]}"
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" "${install[@]}" -qq
