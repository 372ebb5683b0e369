#!/usr/bin/env bash
# Times loading 10k, 100k and 1M-line POI files into the real waypoint list
# under Wine (needs an X display; the test command's Xvfb or xvfb-run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$root/build/windows" --target wine_load_bench Wendrik -j2 >/dev/null
exec "$root/tools/wine-ui.sh" 320 "$root/build/windows/bench/wine_load_bench.exe" "$root/build/windows/Wendrik.exe"
