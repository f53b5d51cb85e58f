#!/usr/bin/env bash
# Builds and runs every test three ways -- a normal build with warnings as
# errors, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer for
# the tests that run a second thread -- the package tests (install,
# find_package, pkg-config, add_subdirectory) once, and the window tests on
# Xvfb with and without MIT-SHM, with and without a window manager.  Then
# the web build (Emscripten) with its tests under node and its page in
# headless Chromium, the Windows build (cross-compiled with mingw-w64) and
# its tests under Wine, and the Win32 drivers' windows watched from the X
# side.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/deps.sh test

jobs=$(nproc)
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${FB_TSAN_EXTRA:+:$FB_TSAN_EXTRA}"
[[ -f tests/tsan.supp ]] && TSAN_OPTIONS+=":suppressions=$root/tests/tsan.supp"

step() { printf '\n=== %s\n' "$*"; }

configure_build() {  # dir, cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

# --- Xvfb displays for the window tests ---
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
wine_prefix=""
finish() {
  cleanup
  if [[ -n $wine_prefix ]]; then
    WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
    rm -rf "$wine_prefix"
  fi
}
trap finish EXIT

free_display() {
  local n=90
  while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
  echo ":$n"
}

start_xvfb() {  # extra Xvfb options...; sets $display
  display=$(free_display)
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset "$@" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && return
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  exit 1
}

start_wm() {  # display
  DISPLAY=$1 openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
}

run_ctest() {  # dir, label regex, extra ctest args...
  local dir=$1 label=$2; shift 2
  (cd "$dir" && ctest --output-on-failure -j"$jobs" -L "$label" "$@")
}

step "normal build (-Wall -Wextra -Werror)"
configure_build build/release -DFB_WERROR=ON -DFB_WIN32_BUILD_DIR="$root/build/win32"
run_ctest build/release unit

step "the installed package and the library as a subproject, used by small programs"
run_ctest build/release package

step "AddressSanitizer + UndefinedBehaviorSanitizer"
configure_build build/asan -DFB_WERROR=ON -DFB_BENCH=OFF -DFB_SANITIZE=address,undefined
run_ctest build/asan unit

step "ThreadSanitizer (tests with a second thread)"
configure_build build/tsan -DFB_WERROR=ON -DFB_SANITIZE=thread -DFB_THREAD_TESTS_ONLY=ON
run_ctest build/tsan threads -LE x11

for shm in with without; do
  for wm in without with; do
    step "window tests: Xvfb $shm MIT-SHM, $wm a window manager"
    opts=()
    if [[ $shm == without ]]; then opts=(-extension MIT-SHM); fi
    start_xvfb "${opts[@]}"
    if [[ $wm == with ]]; then start_wm "$display"; fi
    DISPLAY=$display run_ctest build/release x11 -j1
    if [[ $shm == with && $wm == without ]]; then
      step "window tests under ThreadSanitizer"
      DISPLAY=$display run_ctest build/tsan x11 -j1
    fi
    cleanup
    pids=()
  done
done

# --- Wayland window tests (group "wayland") ---
# Each test starts a headless sway of its own (tests/private_sway.h), so
# the group needs no display from here and its tests may run side by side.
step "Wayland window tests on headless sway"
run_ctest build/release wayland
step "Wayland window tests under ThreadSanitizer"
run_ctest build/tsan wayland
# --- end of the Wayland group ---
# --- web page (Emscripten): its own script, tools/test-web.sh ---
step "web build: the library's tests under node, the game's page in headless Chromium"
web_start=$SECONDS
tools/test-web.sh build/release
printf 'Web part: %d s\n' $((SECONDS - web_start))
# --- end of the web page's group ---

step "Windows build (mingw-w64, -Werror) and its tests under Wine"
windows_start=$SECONDS
# A Wine prefix of this run's own, outside the repository; making it takes
# a while, so once, before the build runs its first program under Wine.
wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/fb-wine.XXXXXX")
export WINEPREFIX=$wine_prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
wineboot --init >/dev/null 2>&1
configure_build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake \
  -DFB_WERROR=ON -DFB_BENCH=OFF
# Wine's windows need a display, and a window manager: without one every
# window's destruction waits about 2 s.
start_xvfb
start_wm "$display"
DISPLAY=$display run_ctest build/win32 'unit|threads'
step "the Win32 drivers seen from the X side (wine_window_test, game_wine_test)"
DISPLAY=$display run_ctest build/release wine -j1
cleanup
pids=()
printf 'Windows part: %d s\n' $((SECONDS - windows_start))

step "all tests passed"
