#!/usr/bin/env bash
# Builds and runs every test, in groups that run side by side:
#
#   tools/test.sh           every group
#   tools/test.sh --quick   the normal build and its unit tests only
#   tools/test.sh GROUP...  the named groups (and the trees they need) only
#   tools/test.sh --list    the groups and what each needs
#
# The build trees (build/NAME) are built one after another, in the order
# of the `tree` lines below; each group starts as soon as the trees it
# needs are built, beside the builds and the other groups.  Every group has
# its own temporary folder (TMPDIR), its own X display when it needs one,
# its own Wine prefix (a copy of the machine's, tools/wine-prefix.sh) and
# its own log, build/test-logs/GROUP.log.  The output is a line per build
# and per group as each ends, then a table of the groups and the total
# time; when something fails, the output of its failing tests follows.
#
# Compiles go through ccache: the cache (~/.cache/ccache unless CCACHE_DIR
# says otherwise) keeps the objects of every tree, for every clone of the
# repository on the machine.
#
# Adding a group: one `group` line in the table below,
#   group NAME TREES NEEDS CTEST-ARGUMENTS...
#   NAME     the group's name, for its log and the table
#   TREES    the trees whose builds it needs, comma separated; ctest runs
#            in the first
#   NEEDS    what is started for it, in this order, comma separated ("-":
#            nothing): xvfb (an Xvfb display), xvfb-noshm (one without
#            MIT-SHM), wm (openbox on that display), wine (a Wine prefix).
#            A new need is a function need_NAME (a "-" in NAME written
#            "_") that starts what it names, exports what the tests read
#            (DISPLAY, WINEPREFIX, ...) and lists the processes to end
#            afterwards in `pids`, other cleanup commands in `at_end`.
#            Anything it writes goes below $TMPDIR, the group's own.
#   CTEST-ARGUMENTS  which tests and how: -L label, -R/-E name patterns;
#            -j1 for tests that share their display's focus.  ctest gets
#            -j<cores> otherwise.  Or --run COMMAND...: a command run from
#            the repository's root instead of ctest, counted as one test.
# Every test of a label should belong to a group: tests no group runs are
# tests nobody runs.
#
# Adding a tree: one `tree` line,
#   tree NAME NEEDS CMAKE-OPTIONS...
# configured as `cmake -S . -B build/NAME -DCMAKE_BUILD_TYPE=RelWithDebInfo
# OPTIONS` (with -g1, see build_tree); NEEDS as for groups, for what runs
# during its build.  A first option --via=COMMAND configures through
# COMMAND (--via=emcmake).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# --- The trees and the groups -----------------------------------------------

trees=() groups=()
declare -A tree_needs tree_options group_trees group_needs group_args

tree() {  # name needs cmake options...
  local name=$1
  trees+=("$name")
  tree_needs[$name]=$2
  shift 2
  tree_options[$name]=$(printf '%q ' "$@")
}

group() {  # name trees needs ctest arguments...
  local name=$1
  groups+=("$name")
  group_trees[$name]=$2
  group_needs[$name]=$3
  shift 3
  group_args[$name]=$(printf '%q ' "$@")
}

#     name     needs  cmake options
tree  release  -      -DFB_WERROR=ON -DFB_WIN32_BUILD_DIR="$root/build/win32"
tree  win32    wine   -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DFB_WERROR=ON -DFB_BENCH=OFF
tree  tsan     -      -DFB_WERROR=ON -DFB_SANITIZE=thread -DFB_THREAD_TESTS_ONLY=ON
tree  asan     -      -DFB_WERROR=ON -DFB_BENCH=OFF -DFB_SANITIZE=address,undefined \
                      -DFB_TEST_LABELS=unit
# The web page's build, at -O1: linking at -O2 and above runs the wasm
# optimiser over every program, and the tests at -O0 run ten times as long
# under node.  The page's pictures come from the release tree's make_art.
tree  web-tests node  --via=emcmake -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" \
                      -DFB_WERROR=ON -DFB_BENCH=OFF -DFB_EXAMPLES=OFF -DFB_INSTALL=OFF \
                      -DFB_HOST_MAKE_ART="$root/build/release/game/make_art" \
                      "-DCMAKE_CROSSCOMPILING_EMULATOR=$(command -v node || echo node);--no-experimental-fetch"

# The longest first: a group that waits for a free place goes before those
# declared after it.  The Win32 drivers' windows take two groups, one of
# them the DirectX driver's, and the Windows build's tests two more, one
# of them those that take the focus one at a time (win32_*).
#      name          trees          needs               ctest arguments
group  wine-window   release,win32  xvfb,wm,wine        -L wine -E DirectX -j1
group  wine-directx  release,win32  xvfb,wm,wine        -L wine -R DirectX -j1
group  wine-win32    win32          xvfb,wm,wine        -L 'unit|threads' -R '^win32_'
group  wine          win32          xvfb,wm,wine        -L 'unit|threads' -E '^win32_'
group  unit          release        -                   -L unit
group  package       release        -                   -L package
group  x11           release        xvfb                -L x11 -j1
group  x11-wm        release        xvfb,wm             -L x11 -j1
group  x11-noshm     release        xvfb-noshm          -L x11 -j1
group  x11-noshm-wm  release        xvfb-noshm,wm       -L x11 -j1
group  tsan          tsan           -                   -L threads -LE x11
group  x11-tsan      tsan           xvfb                -L x11 -j1
group  asan          asan           -                   -L unit
# Each Wayland test starts a headless sway of its own (tests/private_sway.h).
group  wayland       release        -                   -L wayland
group  wayland-tsan  tsan           -                   -L wayland
# The library's tests under node, and the game's page in headless Chromium.
group  web           web-tests,release node          -L 'unit|threads'
group  web-page      release,web-tests node             --run tools/test-web.sh --page build/release build/web-tests

# --- What each group and tree may need ---------------------------------------

need_xvfb() {  # extra Xvfb options...
  # Xvfb takes the first free display number itself and writes it to
  # descriptor 3 when it is ready.
  local file=$TMPDIR/xvfb-display n=""
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset "$@" \
    3>"$file" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 300); do
    if IFS= read -r n <"$file" && [[ -n $n ]]; then
      export DISPLAY=:$n
      return
    fi
    sleep 0.05
  done
  echo "Xvfb did not start within 15 s" >&2
  return 1
}

need_xvfb_noshm() { need_xvfb -extension MIT-SHM; }

need_wm() {
  openbox >/dev/null 2>&1 &
  pids+=($!)
  # Ready when it names itself on the root window.
  for _ in $(seq 300); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return
    sleep 0.05
  done
  echo "openbox did not start within 15 s" >&2
  return 1
}

# Emscripten's JavaScript tools need acorn, which Debian ships as node-acorn.
need_node() { export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}; }

need_wine() {
  WINEPREFIX=$(tools/wine-prefix.sh --copy) || return 1
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  at_end+=("WINEPREFIX=$(printf %q "$WINEPREFIX") wineserver -k 2>/dev/null; rm -rf $(printf %q "$WINEPREFIX")")
}

pids=() at_end=()
start_needs() {  # comma separated needs
  local need
  [[ $1 == - ]] && return
  for need in ${1//,/ }; do
    if ! declare -F "need_${need//-/_}" >/dev/null; then
      echo "tools/test.sh: no need_${need//-/_} for \"$need\"" >&2
      return 1
    fi
    "need_${need//-/_}" || return 1
  done
}
stop_needs() {
  local p c
  for c in "${at_end[@]}"; do eval "$c" || true; done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=() at_end=()
}

# --- Arguments ---------------------------------------------------------------

usage() { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
chosen=()
for arg in "$@"; do
  case $arg in
    --quick) chosen+=(unit) ;;
    --list)
      for g in "${groups[@]}"; do
        printf '%-14s trees %-14s needs %-18s ctest %s\n' "$g" "${group_trees[$g]}" \
          "${group_needs[$g]}" "${group_args[$g]}"
      done
      exit 0 ;;
    -*) usage ;;
    *) [[ -v group_trees[$arg] ]] || { echo "tools/test.sh: no group \"$arg\"" >&2; usage; }
       chosen+=("$arg") ;;
  esac
done
[[ ${#chosen[@]} -gt 0 ]] || chosen=("${groups[@]}")
# The trees the chosen groups need, in the trees' order.
declare -A wanted=()
for g in "${chosen[@]}"; do
  for t in ${group_trees[$g]//,/ }; do wanted[$t]=1; done
done
build_order=()
for t in "${trees[@]}"; do [[ -v wanted[$t] ]] && build_order+=("$t"); done

tools/deps.sh test

jobs=$(nproc)
start=$SECONDS
logs=$root/build/test-logs
run=$root/build/test-run
rm -rf "$logs" "$run"
mkdir -p "$logs" "$run"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${FB_TSAN_EXTRA:+:$FB_TSAN_EXTRA}"
[[ -f tests/tsan.supp ]] && TSAN_OPTIONS+=":suppressions=$root/tests/tsan.supp"

# ccache: paths below the repository hash as relative ones, so clones
# share hits; the compile folder is left out of the hash for the same
# reason (the debug information then names the folder of the first
# compile).  The precompiled test header needs the two pch sloppinesses.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
# Configures inside the tests (the package test's consumers) use it too.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache

stamp() { local s=$((SECONDS - start)); printf '[%2d:%02d]' $((s / 60)) $((s % 60)); }

# --- Building ----------------------------------------------------------------

build_tree() {  # name; its output goes to build/test-logs/build-NAME.log
  local name=$1 dir=build/$1 via=() options
  eval "options=(${tree_options[$name]})"
  if [[ ${options[0]:-} == --via=* ]]; then
    via=("${options[0]#--via=}")
    options=("${options[@]:1}")
  fi
  # Debug information as line tables only: sanitizer reports keep their
  # file:line, and the compiles take a third less time than with -g.
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
           -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${options[@]}")
  # Configured again only when its options changed; the build itself
  # configures again when a CMakeLists.txt did.
  local said
  said=$(printf '%q ' "${via[@]}" "${options[@]}")
  if [[ ! -f $dir/CMakeCache.txt || $(cat "$dir/.test-options" 2>/dev/null) != "$said" ]]; then
    rm -f "$dir/.test-options"
    "${via[@]}" cmake -S . -B "$dir" "${options[@]}" || return 1
    printf '%s' "$said" >"$dir/.test-options"
  fi
  cmake --build "$dir" -j"$jobs"
}

builder() {  # trees...; writes build/test-run/tree-NAME: status seconds
  local t t0 rc
  for t in "$@"; do
    t0=$SECONDS
    rc=0
    (
      export TMPDIR=$run/build-$t
      mkdir -p "$TMPDIR"
      trap stop_needs EXIT
      start_needs "${tree_needs[$t]}" && build_tree "$t"
    ) >"$logs/build-$t.log" 2>&1 || rc=$?
    echo "$rc $((SECONDS - t0))" >"$run/tree-$t.tmp"
    mv "$run/tree-$t.tmp" "$run/tree-$t"
  done
}

# --- Running a group ---------------------------------------------------------

# Counts a ctest log's results: tests passed failed skipped.
count_results() {  # log
  awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
         n++
         if ($0 ~ / Passed +[0-9.]+ sec$/) p++
         else if ($0 ~ /\*\*\*Skipped +[0-9.]+ sec$/ || $0 ~ /Not Run \(Disabled\)/) s++
         else f++
       }
       END { printf "%d %d %d %d\n", n, p, f, s }' "$1"
}

run_group() {  # name; writes build/test-run/NAME/status: rc tests passed failed skipped seconds
  local name=$1 t0=$SECONDS rc=0 dir=$run/$1 args tree
  eval "args=(${group_args[$name]})"
  tree=${group_trees[$name]%%,*}
  [[ ${args[0]} == --run || " ${args[*]} " == *" -j"* ]] || args+=(-j"$jobs")
  mkdir -p "$dir/tmp"
  export TMPDIR=$dir/tmp
  (
    trap stop_needs EXIT
    start_needs "${group_needs[$name]}" || exit 1
    if [[ ${args[0]} == --run ]]; then
      "${args[@]:1}"
    else
      cd "build/$tree"
      ctest --output-on-failure --no-tests=error "${args[@]}"
    fi
  ) >"$logs/$name.log" 2>&1 || rc=$?
  local counts
  if [[ ${args[0]} == --run ]]; then
    counts="1 $((rc == 0)) $((rc != 0)) 0"
  else
    counts=$(count_results "$logs/$name.log")
  fi
  echo "$rc $counts $((SECONDS - t0))" >"$dir/status.tmp"
  mv "$dir/status.tmp" "$dir/status"
}

# --- The schedule ------------------------------------------------------------

# Groups at once, beside the builds: the window and Wine groups mostly
# wait, but too many at once on two cores starve the timing of the others.
at_once=${FB_TEST_GROUPS_AT_ONCE:-4}

# The builder and every group run as process groups of their own, so that
# an interrupted run ends each with all it started.
set -m
child_pids=()
finish() {
  local p
  for p in "${child_pids[@]}"; do kill -TERM -- "-$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

printf 'tools/test.sh: %d group(s) on %d tree(s): %s; logs in build/test-logs/\n' \
  ${#chosen[@]} ${#build_order[@]} "${build_order[*]}"
builder "${build_order[@]}" </dev/null &
child_pids+=($!)
# The machine's Wine prefix, if it has to be made, is made beside the
# first builds; whatever needs Wine waits for it.
needed=""
for t in "${build_order[@]}"; do needed+=",${tree_needs[$t]}"; done
for g in "${chosen[@]}"; do needed+=",${group_needs[$g]}"; done
if [[ "$needed," == *,wine,* ]]; then
  tools/wine-prefix.sh >/dev/null </dev/null &
  child_pids+=($!)
fi

declare -A state=()  # group -> waiting, running, done
for g in "${chosen[@]}"; do state[$g]=waiting; done
declare -A tree_said=()
running=0 left=${#chosen[@]}
failed_groups=() failed_trees=()
while ((left > 0)); do
  for t in "${build_order[@]}"; do
    if [[ -z ${tree_said[$t]:-} && -f $run/tree-$t ]]; then
      read -r rc secs <"$run/tree-$t"
      tree_said[$t]=$rc
      if [[ $rc == 0 ]]; then
        printf '%s build %-12s %4d s\n' "$(stamp)" "$t" "$secs"
      else
        printf '%s build %-12s FAILED after %d s\n' "$(stamp)" "$t" "$secs"
        failed_trees+=("$t")
      fi
    fi
  done
  for g in "${chosen[@]}"; do
    case ${state[$g]} in
      running)
        [[ -f $run/$g/status ]] || continue
        read -r rc n p f s secs <"$run/$g/status"
        state[$g]=done
        running=$((running - 1)) left=$((left - 1))
        if [[ $rc == 0 ]]; then
          printf '%s %-18s %4d s  %d passed, %d skipped\n' "$(stamp)" "$g" "$secs" "$p" "$s"
        else
          printf '%s %-18s %4d s  FAILED: %d of %d tests failed\n' "$(stamp)" "$g" "$secs" "$f" "$n"
          failed_groups+=("$g")
        fi ;;
      waiting)
        ready=1
        for t in ${group_trees[$g]//,/ }; do
          case ${tree_said[$t]:-} in
            0) ;;
            "") ready=0 ;;
            *) ready=x ;;
          esac
        done
        if [[ $ready == x ]]; then
          state[$g]=done left=$((left - 1))
          mkdir -p "$run/$g"
          echo "1 0 0 0 0 0" >"$run/$g/status"
          echo "not run: a tree it needs did not build" >"$logs/$g.log"
          printf '%s %-18s not run: a tree it needs did not build\n' "$(stamp)" "$g"
          failed_groups+=("$g")
        elif [[ $ready == 1 ]] && ((running < at_once)); then
          state[$g]=running running=$((running + 1))
          run_group "$g" </dev/null &
          child_pids+=($!)
        fi ;;
    esac
  done
  ((left > 0)) && sleep 0.5
done
wait

# --- Labels no group runs ---------------------------------------------------

# A label of a built tree that no group's -L selects would be tests that
# nobody runs: a new label needs a group.
unrun=()
if [[ ${#chosen[@]} -eq ${#groups[@]} ]]; then
  for t in "${build_order[@]}"; do
    [[ ${tree_said[$t]} == 0 ]] || continue
    while read -r label; do
      found=0
      for g in "${groups[@]}"; do
        eval "args=(${group_args[$g]})"
        for ((i = 0; i + 1 < ${#args[@]}; i++)); do
          [[ ${args[i]} == -L && $label =~ ${args[i + 1]} ]] && found=1
        done
      done
      [[ $found == 1 ]] || unrun+=("$label ($t)")
    done < <(cd "build/$t" && ctest --print-labels | sed -n 's/^  //p')
  done
fi

# --- The summary -------------------------------------------------------------

echo
printf '%-18s %6s %7s %7s %8s %8s\n' group tests passed failed skipped seconds
for g in "${chosen[@]}"; do
  read -r rc n p f s secs <"$run/$g/status"
  printf '%-18s %6d %7d %7d %8d %8d\n' "$g" "$n" "$p" "$f" "$s" "$secs"
done
total=$((SECONDS - start))
builds=""
for t in "${build_order[@]}"; do
  read -r rc secs <"$run/tree-$t"
  builds+="$t $secs s, "
done
printf 'builds: %s\n' "${builds%, }"

for t in "${failed_trees[@]}"; do
  printf '\n=== the build of %s failed (build/test-logs/build-%s.log):\n' "$t" "$t"
  grep -v -E '^\[ *[0-9]+%\] (Building|Linking|Built target|Drawing)' "$logs/build-$t.log" | tail -n 60
done
for g in "${failed_groups[@]}"; do
  printf '\n=== %s failed (all of it in build/test-logs/%s.log):\n' "$g" "$g"
  # The failing tests' lines and output, without the passing ones.
  grep -v -E '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*( Passed |\*\*\*Skipped )' \
    "$logs/$g.log" || true
done

if [[ ${#unrun[@]} -gt 0 ]]; then
  printf '\n=== labels that no group runs (add a group line to tools/test.sh): %s\n' "${unrun[*]}"
fi

printf '\ntotal %d:%02d (%d s) on %d cores: ' $((total / 60)) $((total % 60)) "$total" "$jobs"
if [[ ${#failed_groups[@]} -gt 0 || ${#failed_trees[@]} -gt 0 || ${#unrun[@]} -gt 0 ]]; then
  echo "FAILED: ${failed_trees[*]:+build ${failed_trees[*]} }${failed_groups[*]}${unrun[*]:+ unrun labels}"
  exit 1
fi
echo "all ${#chosen[@]} group(s) passed"
rm -rf "$run"
