#!/usr/bin/env bash
# Builds the game and starts it from the folder that holds its pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh play
cmake -S . -B build/play -DCMAKE_BUILD_TYPE=Release -DFB_TESTS=OFF -DFB_BENCH=OFF >/dev/null
cmake --build build/play -j"$(nproc)" --target shooter >/dev/null
cd build/play/run
exec ../game/shooter
