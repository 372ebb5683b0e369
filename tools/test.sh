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
source "$here/wine-lib.sh"
start_xvfb 91 120
xvfb=$XVFB_PID
stop_all() {
  for p in "$root"/build/wine/*/; do
    [ -f "$p/system.reg" ] && WINEPREFIX="$p" /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  kill "$xvfb" 2>/dev/null || true
}
trap stop_all EXIT
export DISPLAY=":$XVFB_DISPLAY"

step "test windows (under Wine)"
ctest --preset windows -j2 || failed+=(windows)

echo
echo "== $(( $(date +%s) - start )) s in all"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all tests passed"
