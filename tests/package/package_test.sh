#!/usr/bin/env bash
# The library as other projects get it:
#   1. `cmake --install` into a fresh prefix gives libfb.a, the public
#      headers under include/fb/, the CMake package and the pkg-config file,
#      and every installed header compiles on its own;
#   2. a project using find_package(fb CONFIG REQUIRED) builds and runs;
#   3. a program built with `pkg-config --cflags --libs fb` builds and runs;
#   4. a project that adds the sources with add_subdirectory builds only the
#      library and runs; one using FetchContent configures the same way.
# Usage: package_test.sh <fb source folder> <fb build folder> <C++ compiler>
set -euo pipefail
src=$1 build=$2 cxx=$3
here=$src/tests/package
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
jobs=$(nproc)
step() { printf '== %s (%ds)\n' "$*" "$SECONDS"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
run_consumer() {  # program
  local out
  out=$("$1") || fail "$1 failed: $out"
  [[ $out == "consumer: ok" ]] || fail "$1 printed: $out"
}

step "install into $tmp/prefix"
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(find "$prefix" -name libfb.a)
[[ -n $lib ]] || fail "no libfb.a installed"
libdir=$(dirname "$lib")
for f in "$libdir/cmake/fb/fbConfig.cmake" "$libdir/cmake/fb/fbConfigVersion.cmake" \
         "$libdir/cmake/fb/fbTargets.cmake" "$libdir/pkgconfig/fb.pc" \
         "$prefix/include/fb/gfx/blit.h" "$prefix/include/fb/platform/screen.h" \
         "$prefix/include/fb/clock/clock.h"; do
  [[ -f $f ]] || fail "missing ${f#"$prefix"/}"
done
# Headers live under include/fb/ only, and the library's inner headers stay home.
stray=$(cd "$prefix" && find . -name '*.h' ! -path './include/fb/*')
[[ -z $stray ]] || fail "headers outside include/fb: $stray"
for inner in gfx/blit_packed.h gfx/bmp_decoder.h platform/window_thread.h; do
  [[ ! -e $prefix/include/fb/$inner ]] || fail "inner header installed: $inner"
done

step "each installed header compiles on its own"
(cd "$prefix/include" && find fb -name '*.h' | sort) > "$tmp/headers"
[[ $(wc -l < "$tmp/headers") -ge 10 ]] || fail "too few headers installed"
xargs -P "$jobs" -I{} sh -c \
  'printf "#include <%s>\n" "$1" | "$2" -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$3" -x c++ - ||
   { echo "header $1 does not compile alone" >&2; exit 255; }' _ {} "$cxx" "$prefix/include" \
  < "$tmp/headers"

step "find_package(fb CONFIG REQUIRED) consumer"
cmake -S "$here/installed" -B "$tmp/installed" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$tmp/installed" -j"$jobs" >/dev/null
run_consumer "$tmp/installed/consumer"

step "pkg-config consumer"
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs fb)
# shellcheck disable=SC2086
"$cxx" -std=c++20 "$here/consumer.cpp" -o "$tmp/pkgconfig_consumer" $flags
run_consumer "$tmp/pkgconfig_consumer"

step "FetchContent consumer (configure)"
cmake -S "$here/subproject" -B "$tmp/fetch" -DFB_SOURCE_DIR="$src" -DFB_HOW=FetchContent \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null

step "add_subdirectory consumer"
cmake -S "$here/subproject" -B "$tmp/sub" -DFB_SOURCE_DIR="$src" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$tmp/sub" -j"$jobs" >/dev/null
run_consumer "$tmp/sub/consumer"
[[ -z $(find "$tmp/sub" -name 'shooter' -o -name '*_test' -o -name '*_bench') ]] ||
  fail "the subproject build made more than the library"

step "package: all consumers built and ran"
