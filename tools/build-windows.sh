#!/usr/bin/env bash
# Builds the Windows game with mingw-w64 and puts it beside its pictures:
#   build/windows/run/shooter.exe and build/windows/run/imgs/
# The .exe is linked statically: that folder is all it needs, on Windows
# or under Wine (cd build/windows/run && wine shooter.exe).  The pictures
# are drawn at build time by the build's own generator, run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh windows
cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DFB_TESTS=OFF -DFB_BENCH=OFF >/dev/null
cmake --build build/windows -j"$(nproc)" --target shooter >/dev/null
cp build/windows/game/shooter.exe build/windows/run/
echo "build/windows/run/shooter.exe"
