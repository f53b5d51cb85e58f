#!/usr/bin/env bash
# Measures the game's drawing work beside SDL2, pixman and memcpy, pinned
# to one core in one run, and prints the table with each result as a
# ratio to the best rival, then whether each speed target is met, and
# the floors: the bare memory work under the dots and the frame.
#   tools/speed_table.sh [--cpu N] [--repetitions N] [--build DIR]
# Builds what it runs (Release-like, into build/speed unless told
# otherwise).  Each time is the fastest repetition's CPU time: other work
# on the machine only ever adds time, to the clock and through the caches
# and memory it shares, so the load average is printed beside the table.
set -euo pipefail
cd "$(dirname "$0")/.."

cpu=$(( $(nproc) - 1 ))
reps=40
build=build/speed
while [[ $# -gt 0 ]]; do
  case $1 in
    --cpu) cpu=$2; shift 2 ;;
    --repetitions) reps=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: tools/speed_table.sh [--cpu N] [--repetitions N] [--build DIR]" >&2; exit 2 ;;
  esac
done

tools/deps.sh bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFB_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target rivals_bench circles_bench game_frame_bench >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores;" \
     "pinned to core $cpu; CPU time, fastest of $reps repetitions"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
run() {  # binary, filter
  # Many short repetitions: the fastest of them is the least disturbed.
  taskset -c "$cpu" "$build/bench/$1" --benchmark_filter="$2" --benchmark_repetitions="$reps" \
    --benchmark_min_time=0.02 \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/$1.csv" \
    --benchmark_out_format=csv >/dev/null 2>"$out/$1.err" || { cat "$out/$1.err" >&2; exit 1; }
}
run rivals_bench .
run circles_bench 'Circles/packed|Crosses'
run game_frame_bench 'BM_FrameDraw|BM_WholeFrame|BM_FrameFloor'
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# Every benchmark's fastest repetition as "name time-in-microseconds".
for f in "$out"/*.csv; do
  awk -F, '
    /^name,/ { for (i = 1; i <= NF; ++i) col[$i] = i; next }
    !("cpu_time" in col) { next }
    {
      name = $col["name"]; gsub(/"/, "", name)
      if (name ~ /_(mean|median|stddev|cv)$/) next
      t = $col["cpu_time"]; unit = $col["time_unit"]
      if (unit == "ns") t /= 1000; else if (unit == "ms") t *= 1000; else if (unit == "s") t *= 1e6
      # One repetition has no statistics: the single run stands for them.
      if (sub(/_min$/, "", name)) fastest[name] = t; else single[name] = t
    }
    END {
      for (name in fastest) print name, fastest[name]
      for (name in single) if (!(name in fastest)) print name, single[name]
    }' "$f"
done >"$out/times"

awk '
  { us[$1] = $2 }
  function cell(name, best) {
    if (!(name in us)) return sprintf("%-17s", "-")
    if (best > 0) return sprintf("%9.1f (%4.2fx)", us[name], us[name] / best)
    return sprintf("%9.1f        ", us[name])
  }
  function row(label, work,    best, who, n, i) {
    best = 0
    n = split("sdl2_rle sdl2 pixman", who, " ")
    for (i = 1; i <= n; ++i)
      if ((work "/" who[i]) in us && (best == 0 || us[work "/" who[i]] < best)) best = us[work "/" who[i]]
    printf "%-34s", label
    n = split("ours sdl2_rle sdl2 pixman memcpy avx2_loop", who, " ")
    for (i = 1; i <= n; ++i) printf " | %s", cell(work "/" who[i], best)
    printf "\n"
  }
  function single(label, name) { printf "%-34s | %s\n", label, cell(name, 0) }
  function target(text, ok) { printf "  %-66s %s\n", text, ok ? "met" : "MISSED" }
  function have(a, b) { return (a in us) && (b in us) }
  END {
    printf "%-34s | %-17s | %-17s | %-17s | %-17s | %-17s | %-17s\n", "work (us; x = / best rival)",
           "ours", "SDL2 RLE", "SDL2", "pixman", "memcpy", "straight AVX2"
    row("keyed blit 1024x768, alpha 255", "Keyed1024x768")
    row("blend alpha 200 + key, 1024x768", "Blend1024x768")
    row("blend alpha 200 + key, 200x100", "Blend200x100")
    row("251 keyed 25x25 sprites", "Sprites251")
    single("50,000 radius-1 dots (DrawCircle)", "Circles/packed")
    single("heaviest game frame, whole", "BM_WholeFrame")
    single("heaviest game frame, drawing", "BM_FrameDraw")
    single("floor: bare stores of the dots", "Crosses")
    single("floor: bare memory of the drawing", "BM_FrameFloor")
    print ""
    print "targets:"
    if (have("Sprites251/ours", "Sprites251/sdl2_rle"))
      target("251 sprites at least as fast as SDL2 RLE", us["Sprites251/ours"] <= us["Sprites251/sdl2_rle"])
    if (have("Keyed1024x768/ours", "Keyed1024x768/sdl2_rle"))
      target("keyed 1024x768 at least as fast as SDL2 RLE",
             us["Keyed1024x768/ours"] <= us["Keyed1024x768/sdl2_rle"])
    if (have("Blend1024x768/ours", "Blend1024x768/pixman"))
      target("blend 1024x768 at least 3x faster than pixman OVER + solid mask",
             3 * us["Blend1024x768/ours"] <= us["Blend1024x768/pixman"])
    if (have("Blend200x100/ours", "Blend200x100/pixman"))
      target("blend 200x100 at least 3x faster than pixman OVER + solid mask",
             3 * us["Blend200x100/ours"] <= us["Blend200x100/pixman"])
    if (have("Keyed1024x768/ours", "Keyed1024x768/memcpy"))
      target("keyed 1024x768 within 1.1x of memcpy",
             us["Keyed1024x768/ours"] <= 1.1 * us["Keyed1024x768/memcpy"])
    if ("Circles/packed" in us) target("50,000 dots in at most 200 us", us["Circles/packed"] <= 200)
    if ("BM_WholeFrame" in us) target("heaviest frame at most 500 us", us["BM_WholeFrame"] <= 500)
    if ("BM_FrameDraw" in us) target("its drawing at most 350 us", us["BM_FrameDraw"] <= 350)
    # A target under its floor cannot be met by any code on this machine
    # as it runs now; the floors say how much of the time is memory.
    if ("Crosses" in us && us["Crosses"] > 200)
      printf "  (the bare stores of the dots took %.0f us: 200 is under the floor here)\n", us["Crosses"]
    if ("BM_FrameFloor" in us && us["BM_FrameFloor"] > 350)
      printf "  (the bare memory of the drawing took %.0f us: 350 is under the floor here)\n", us["BM_FrameFloor"]
  }' "$out/times"
if ! grep -q 'sdl2' "$out/times" || ! grep -q 'pixman' "$out/times"; then
  echo
  echo "SDL2 or pixman was not measured: install libsdl2-dev, libpixman-1-dev and pkg-config" \
       "(tools/deps.sh bench), then run again."
fi
