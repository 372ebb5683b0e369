#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the host build
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# build under Wine on a virtual X display of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/packages.sh"
cd "$root"
start=$(date +%s)
failed=()
# Each step with the seconds since the start, so that slow ones show.
step() { echo; echo "== [$(( $(date +%s) - start )) s] $*"; }

step "packages"
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

for preset in host host-asan windows; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

for preset in host host-asan; do
  step "test $preset"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

step "fuzz targets, briefly, and the saved inputs"
"$here/fuzz.sh" --seconds 6 || failed+=(fuzz)

# Our own X server: tests never depend on the caller's display.
display=
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
stop_all() {
  for p in "$root"/build/wine/*/; do
    [ -f "$p/system.reg" ] && WINEPREFIX="$p" /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  kill "$xvfb" 2>/dev/null || true
}
trap stop_all EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

step "test windows (under Wine)"
ctest --preset windows -j2 || failed+=(windows)

echo
echo "== $(( $(date +%s) - start )) s in all"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all tests passed"
