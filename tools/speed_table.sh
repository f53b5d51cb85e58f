#!/usr/bin/env bash
# Measures the game's drawing work beside SDL2, pixman and memcpy, pinned
# to one core in one run, and prints the table with each result as a
# ratio to the best rival and the floors (the bare memory work under the
# dots and the frame), then each speed target as a ratio taken in this
# run, met or missed.
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
before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "load average before: $before"
run() {  # binary, filter
  # Many short repetitions: the fastest of them is the least disturbed.
  taskset -c "$cpu" "$build/bench/$1" --benchmark_filter="$2" --benchmark_repetitions="$reps" \
    --benchmark_min_time=0.02 \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/$1.csv" \
    --benchmark_out_format=csv >/dev/null 2>"$out/$1.err" || { cat "$out/$1.err" >&2; exit 1; }
}
run rivals_bench .
run circles_bench 'Circles/packed|Circles/run|Crosses'
run game_frame_bench 'BM_FrameDraw|BM_WholeFrame|BM_FrameFloor'
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
if awk '{ exit !($1 >= 1) }' <<<"$before"; then
  echo "(the load average was 1 or more before the run: other work shares the machine," \
       "and these figures are not for a note)"
fi
echo

# Every benchmark's fastest repetition as "name time-in-microseconds".
for f in "$out"/*.csv; do
  awk -F, '
    /^name,/ { for (i = 1; i <= NF; ++i) col[$i] = i; next }
    !("cpu_time" in col) { next }
    {
      name = $col["name"]; gsub(/"/, "", name)
      # A benchmark that reported an error has no time to give.
      if (("error_occurred" in col) && $col["error_occurred"] == "true") {
        printf "speed_table: %s failed (%s): not measured\n", name, $col["error_message"] > "/dev/stderr"
        next
      }
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
  function have(a, b) { return (a in us) && (b in us) }
  # One target: ours / theirs at most most; not measured when either is
  # missing (no rival installed, or a benchmark that failed).
  function ratio(text, ours, theirs, most,    r) {
    if (!have(ours, theirs)) { printf "  %-58s %7s  not measured\n", text, "-"; return }
    r = us[ours] / us[theirs]
    printf "  %-58s %6.2fx  %s\n", text, r, r <= most ? "met" : "MISSED"
  }
  END {
    printf "%-34s | %-17s | %-17s | %-17s | %-17s | %-17s | %-17s\n", "work (us; x = / best rival)",
           "ours", "SDL2 RLE", "SDL2", "pixman", "memcpy", "straight AVX2"
    row("keyed blit 1024x768, alpha 255", "Keyed1024x768")
    row("blend alpha 200 + key, 1024x768", "Blend1024x768")
    row("blend alpha 200 + key, 200x100", "Blend200x100")
    row("251 keyed 25x25 sprites", "Sprites251")
    single("50,000 radius-1 dots (DrawCircle)", "Circles/packed")
    single("50,000 dots, a run (as the game)", "Circles/run")
    single("heaviest game frame, whole", "BM_WholeFrame")
    single("heaviest game frame, drawing", "BM_FrameDraw")
    single("floor: bare stores of the dots", "Crosses")
    single("floor: bare memory of the drawing", "BM_FrameFloor")
    single("floor: stores of the sprite runs", "Sprites251/opaque_runs")
    print ""
    print "targets (ratios of this run):"
    ratio("251 keyed 25x25 sprites <= 0.75x SDL2 RLE", "Sprites251/ours", "Sprites251/sdl2_rle", 0.75)
    ratio("keyed 1024x768 <= 1.0x SDL2 RLE", "Keyed1024x768/ours", "Keyed1024x768/sdl2_rle", 1.0)
    ratio("keyed 1024x768 <= 1.1x memcpy", "Keyed1024x768/ours", "Keyed1024x768/memcpy", 1.1)
    ratio("blend 1024x768 >= 3x faster than pixman (<= 0.33x)", "Blend1024x768/ours",
          "Blend1024x768/pixman", 1 / 3)
    ratio("blend 200x100 >= 3x faster than pixman (<= 0.33x)", "Blend200x100/ours",
          "Blend200x100/pixman", 1 / 3)
    ratio("50,000 dots as the game draws them <= 1.6x bare stores", "Circles/run", "Crosses", 1.6)
    ratio("heaviest frame, drawing <= 1.3x its bare memory", "BM_FrameDraw", "BM_FrameFloor", 1.3)
    a = "-"; b = "-"
    if (have("Sprites251/ours", "Sprites251/opaque_runs"))
      a = sprintf("%.2fx", us["Sprites251/ours"] / us["Sprites251/opaque_runs"])
    if (have("Sprites251/opaque_runs", "Sprites251/sdl2_rle"))
      b = sprintf("%.2fx", us["Sprites251/opaque_runs"] / us["Sprites251/sdl2_rle"])
    printf "  (251 sprites: %s of the stores of their opaque runs, which take %s of SDL2 RLE)\n", a, b
    printf "  (50,000 dots by DrawCircle: %s of the bare stores)\n",
           have("Circles/packed", "Crosses") ? sprintf("%.2fx", us["Circles/packed"] / us["Crosses"]) : "-"
  }' "$out/times"
if ! grep -q 'sdl2' "$out/times" || ! grep -q 'pixman' "$out/times"; then
  echo
  echo "SDL2 or pixman was not measured: install libsdl2-dev, libpixman-1-dev and pkg-config" \
       "(tools/deps.sh bench), then run again."
fi
