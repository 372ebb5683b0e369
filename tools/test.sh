#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the host build
# under AddressSanitizer and UndefinedBehaviorSanitizer, the platform-neutral
# code for the device's class of processor (ARMv5TE, no floating-point
# unit) under qemu-arm, and the Windows build under Wine on a virtual X
# display of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
root=$(cd "$here/.." && pwd -P)
source "$here/packages.sh"
source "$here/script-lib.sh"
# Nothing the caller set may choose or change the tests.
clean_environment
cd "$root"
start=$(date +%s)
failed=()
# Each step with the seconds since the start, so that slow ones show.
step() { echo; echo "== [$(( $(date +%s) - start )) s] $*"; }

# The build folder's Wine prefixes and device folders are this run's while
# it lasts: a second test command of the same checkout waits.
mkdir -p build
exec 9>build/test.lock
if ! flock -n 9; then
  echo "another test command of this checkout is running; waiting for it"
  flock 9
fi

step "packages"
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
need_expat_source "$root/build/expat-source"

for preset in host host-asan armel windows; do
  step "build $preset"
  configure_preset "$preset"
  cmake --build --preset "$preset"
done

for preset in host host-asan armel; do
  step "test $preset"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

# A fixed seed and count of runs over the seeds and the saved inputs: the
# same commit always gives the same verdict. Exploring is tools/fuzz.sh's.
step "fuzz targets, a fixed count of runs from the seeds alone, and the saved inputs"
"$here/fuzz.sh" --fresh --runs 50000 --seed 1 || failed+=(fuzz)

# Our own X server: tests never depend on the caller's display.
source "$here/wine-lib.sh"
start_xvfb
xvfb=$XVFB_PID
# Only the Wine servers of the prefixes the tests use: the run command's
# own prefixes are left alone.
stop_all() {
  local p
  for p in "$root"/build/wine/unit "$root"/build/wine/ui-*; do
    [ -f "$p/system.reg" ] && prefix_ours "$p" && { WINEPREFIX="$p" "$WINESERVER" -k 2>/dev/null || true; }
  done
  kill "$xvfb" 2>/dev/null || true
}
trap stop_all EXIT
export DISPLAY=":$XVFB_DISPLAY"

step "test windows (under Wine)"
ctest --preset windows -j2 || failed+=(windows)

# A test that could not run here says so in the summary, with its reason:
# "passed" never stands for "skipped".
step "summary"
skips=$(for preset in host host-asan armel windows; do
  log="build/$preset/Testing/Temporary/LastTest.log"
  [ -f "$log" ] && tr -d '\r' <"$log" | awk '
    /^\[ RUN      \]/ { reason = "" }
    prev ~ /: Skipped$/ && $0 !~ /^\[/ { reason = $0 }
    /^\[  SKIPPED \] .*\([0-9]+ ms\)$/ { print $4 ": " (reason == "" ? "no reason given" : reason) }
    { prev = $0 }'
done | sort -u)
count=$(grep -c . <<<"$skips" || true)
echo "$(( $(date +%s) - start )) s in all"
if [ "$count" -gt 0 ]; then
  echo "skipped, $count test(s), each with its reason:"
  sed 's/^/  /' <<<"$skips"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
if [ "$count" -gt 0 ]; then
  echo "tests passed, except the $count skipped above"
else
  echo "all tests passed, none skipped"
fi
