#!/usr/bin/env bash
# Builds the game and starts it from the folder that holds its pictures.
# The first run configures and builds everything (about half a minute on
# two cores) and says so, showing the build's progress; later runs, with
# nothing to build, start the game at once and print nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh play
build=build/play

if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "play.sh: first run: configuring the build in $build"
  mkdir -p "$build"
  if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFB_TESTS=OFF -DFB_BENCH=OFF \
         -DFB_EXAMPLES=OFF >"$build/configure.log" 2>&1; then
    cat "$build/configure.log" >&2
    rm -f "$build/CMakeCache.txt"  # so that the next run configures again
    echo "play.sh: configuring failed (above)" >&2
    exit 1
  fi
fi

# Only the build's own steps are shown ("[ 45%] Building ... gfx/blit.cpp"),
# on one line that updates itself on a terminal; "Built target" lines,
# which are all a build with nothing to do prints, are not.
progress() {
  local tty=0 shown=0 line
  [[ -t 1 ]] && tty=1
  while IFS= read -r line; do
    [[ $line =~ ^\[\ *([0-9]+%|[0-9]+/[0-9]+)\]\ (Building|Linking|Drawing)(.*)$ ]] || continue
    if [[ $shown == 0 ]]; then
      echo "play.sh: building the game (the first time takes about half a minute)"
      shown=1
    fi
    local step=${BASH_REMATCH[1]} what=${BASH_REMATCH[2]}${BASH_REMATCH[3]}
    # "Building CXX object CMakeFiles/fb.dir/gfx/blit.cpp.o" -> "compiling gfx/blit.cpp"
    [[ $what =~ ^Building\ CXX\ object\ .*\.dir/(.*)\.o$ ]] && what="compiling ${BASH_REMATCH[1]}"
    if [[ $tty == 1 ]]; then
      printf '\r\033[K  [%s] %s' "$step" "${what:0:70}"
    else
      printf '  [%s] %s\n' "$step" "$what"
    fi
  done
  if [[ $shown == 1 ]]; then
    [[ $tty == 1 ]] && echo
    echo "play.sh: built; starting the game"
  fi
}

if ! cmake --build "$build" -j"$(nproc)" --target shooter 2>&1 | tee "$build/build.log" | progress; then
  echo "play.sh: the build failed; the end of its output ($build/build.log):" >&2
  tail -n 40 "$build/build.log" >&2
  exit 1
fi
cd "$build/run"
exec ../game/shooter
