#!/usr/bin/env bash
# Runs every benchmark side by side and prints the figures:
#   the search and its floors (Google Benchmark, host build),
#   wendrik-cli near against GPSBabel's radius filter (whole process, medians),
#   wendrik-cli check beside near on the same file,
#   wendrik-cli convert against GPSBabel (GPX to a POI file, 200k waypoints),
#   peak memory of wendrik-cli near, instructions per line under callgrind,
#   ARM instructions per line under qemu-arm (regional and world-wide files),
#   loading and searching in the real dialogs under Wine (needs an X display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/packages.sh"
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" gpsbabel valgrind time
cd "$root"
cmake --preset host >/dev/null
cmake --build --preset host --target nearest_bench gen_pois wendrik-cli >/dev/null
out="$root/build/bench"
mkdir -p "$out"
sizes=(10000 100000 1000000)
for n in "${sizes[@]}"; do
  [ -f "$out/pois-$n.asc" ] || build/host/bench/gen_pois "$n" "$out/pois-$n.asc"
done
cli=build/host/wendrik-cli
lat=50.11 lon=8.68

echo "== Google Benchmark (ns per line: 1e9 / items_per_second)"
WENDRIK_BENCH_DIR="$out" build/host/bench/nearest_bench --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 == "name" {for (i = 1; i <= NF; i++) if ($i == "items_per_second") col = i; next}
           col && $1 ~ /BM_/ {gsub(/"/, "", $1); printf "  %-28s %8.1f ns/line\n", $1, 1e9 / $col}'

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
timeit() {  # runs the command 5 times, prints the median in seconds
  for _ in 1 2 3 4 5; do
    local t0 t1
    t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000 ))
  done | median | awk '{printf "%.4f", $1 / 1e6}'
}

echo
echo "== wendrik-cli near against GPSBabel's radius filter (1M lines, medians of 5)"
csv="$out/pois-1000000.csv"
if [ ! -f "$csv" ]; then
  { echo "lat,lon,name"
    awk -F, '$1 ~ /^[0-9.-]+$/ && $2 ~ /^[0-9.-]+$/ {name = $3; gsub(/[\r"]/, "", name); print $2 "," $1 "," name}' "$out/pois-1000000.asc"
  } >"$csv"
fi
ours=$(timeit "$cli" near "$out/pois-1000000.asc" "$lat" "$lon")
theirs=$(timeit gpsbabel -i unicsv -f "$csv" -x radius,lat=$lat,lon=$lon,distance=1000K,maxcount=5 -o unicsv -F "$out/gpsbabel-out.csv")
echo "  wendrik-cli near     $ours s"
echo "  gpsbabel radius      $theirs s"
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "  ratio                %.1f times faster\n", b / a}'

echo
echo "== wendrik-cli check beside near (1M lines, medians of 5)"
checked=$(timeit "$cli" check --quiet "$out/pois-1000000.asc")
echo "  wendrik-cli check    $checked s"
awk -v a="$ours" -v b="$checked" 'BEGIN {printf "  check / near         %.1f\n", b / a}'

echo
echo "== wendrik-cli convert against GPSBabel 1.8.0, GPX to a POI file (200k waypoints)"
# GPSBabel's writer of this line format, found by its file extension.
babel_format=$(gpsbabel -^2 2>/dev/null | awk -F'\t' '$1 == "file" && $4 == "asc" {print $3; exit}')
for n in 10000 200000; do
  [ -f "$out/pois-$n.asc" ] || build/host/bench/gen_pois "$n" "$out/pois-$n.asc"
  # (the generator writes a few lines the search skips: exit code 1)
  [ -f "$out/waypoints-$n.gpx" ] || "$cli" convert "$out/pois-$n.asc" "$out/waypoints-$n.gpx" >/dev/null || true
done
ours=$(timeit "$cli" convert "$out/waypoints-200000.gpx" "$out/convert-out.asc")
t0=$(date +%s%N)
gpsbabel -i gpx -f "$out/waypoints-200000.gpx" -o "$babel_format" -F "$out/gpsbabel-out.asc"
theirs=$(awk -v ns=$(( $(date +%s%N) - t0 )) 'BEGIN {printf "%.4f", ns / 1e9}')
echo "  wendrik-cli convert  $ours s (median of 5)"
echo "  gpsbabel             $theirs s (one run)"
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "  ratio                %.1f times faster\n", b / a}'
for n in 10000 200000; do
  kb=$(/usr/bin/time -f %M "$cli" convert "$out/waypoints-$n.gpx" "$out/convert-out.asc" 2>&1 >/dev/null | tail -1)
  echo "  peak memory, $n waypoints: $kb KiB"
done
kb=$(/usr/bin/time -f %M gpsbabel -i gpx -f "$out/waypoints-200000.gpx" -o "$babel_format" -F "$out/gpsbabel-out.asc" 2>&1 >/dev/null | tail -1)
echo "  gpsbabel's peak memory, 200000 waypoints: $kb KiB"

echo
echo "== peak memory of wendrik-cli near"
for n in 10000 1000000; do
  kb=$(/usr/bin/time -f %M "$cli" near "$out/pois-$n.asc" "$lat" "$lon" 2>&1 >/dev/null | tail -1)
  echo "  $n lines: $kb KiB"
done

echo
echo "== x86-64 instructions per line under callgrind (the whole wendrik-cli near, 1M lines)"
[ -f "$out/world-1000000.asc" ] || build/host/bench/gen_pois 1000000 "$out/world-1000000.asc" world
for file in pois-1000000 world-1000000; do
  valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out" "$cli" near "$out/$file.asc" "$lat" "$lon" \
    >/dev/null 2>"$out/callgrind.log" || true
  ir=$(grep -E '^(summary|totals):' "$out/callgrind.out" | head -1 | awk '{print $2}')
  awk -v f="$file" -v ir="$ir" 'BEGIN {printf "  %-14s %6.0f per line (%d in all)\n", f, ir / 1000000, ir}'
done

echo
echo "== ARM instructions per line for wendrik-cli near (ARMv5TE, no FPU, under qemu-arm, 10k lines)"
# One logged translation block per instruction (-singlestep, no chaining),
# less the count for an empty file: the search alone.
cmake --preset armel >/dev/null
cmake --build --preset armel --target wendrik-cli gen_pois >/dev/null
arm_cli=build/armel/wendrik-cli
arm_instructions() {
  qemu-arm -singlestep -d exec,nochain -D /dev/stderr "$arm_cli" near "$1" "$2" "$3" 2>&1 >/dev/null | grep -c '^Trace'
}
: >"$out/empty.asc"
[ -f "$out/world-10000.asc" ] || build/host/bench/gen_pois 10000 "$out/world-10000.asc" world
empty=$(arm_instructions "$out/empty.asc" "$lat" "$lon")
for file in pois-10000 world-10000; do
  n=$(arm_instructions "$out/$file.asc" "$lat" "$lon")
  awk -v f="$file" -v n="$n" -v e="$empty" 'BEGIN {printf "  %-14s %6.0f per line\n", f, (n - e) / 10000}'
done

if [ -n "${DISPLAY:-}" ]; then
  echo
  echo "== the real dialogs under Wine (320x240)"
  bench/run-load.sh
else
  echo
  echo "(no X display: the Wine timings are left out; run under xvfb-run for them)"
fi
