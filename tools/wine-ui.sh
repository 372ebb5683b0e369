#!/usr/bin/env bash
# Runs the user-interface tests under Wine on a screen of the given size:
#   wine-ui.sh WIDTH|WxH TEST.exe Wendrik.exe [test arguments]
# Each size has its own prefix and device folder (drive D:) in the build folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
source "$here/wine-lib.sh"
size=$(screen_size "$1")
tests=$2 program=$3
shift 3
build=${WENDRIK_BUILD:-"$here/../build"}
prefix="$build/wine/ui-$size"
devroot="$build/wine/ui-$size-device"
shots="$build/screenshots"
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-ui.sh: no X display; the test command starts one (or use xvfb-run)" >&2
  exit 1
fi
prefix_ready "$prefix" "$size"
mkdir -p "$devroot" "$shots"
map_drive "$prefix" d "$devroot"
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
export WENDRIK_EXE=$(winpath "$program")
export WENDRIK_SHOTS=$(winpath "$shots")
# A full storage card: a 16 KiB tmpfs as drive E:, where mounting is allowed.
full="$build/wine/ui-$size-full"
mkdir -p "$full"
# Its test says in its reason when this cannot be had, and the test
# command lists it among the skipped.
if ! mountpoint -q "$full" && [ "$(id -u)" = 0 ]; then
  mount -t tmpfs -o size=16k wendrik-full "$full" ||
    echo "wine-ui.sh: cannot mount the full storage card (no right to mount here)" >&2
fi
if mountpoint -q "$full"; then
  map_drive "$prefix" e "$full"
  export WENDRIK_FULL_DRIVE=E:
fi
# Root reads and writes any file whatever its mode; without these two
# capabilities the platform keeps to file modes as on a user's device.
run=()
drop=--bounding-set=-dac_override,-dac_read_search
if [ "$(id -u)" = 0 ]; then
  if setpriv "$drop" true; then
    run=(setpriv "$drop")
  else
    echo "wine-ui.sh: cannot drop root's file capabilities; the permission tests will skip" >&2
  fi
fi
# WENDRIK_CLOCK="YYYY-MM-DD hh:mm:ss": the device's clock, UTC, running on.
# An offset, so that every process of the run reads the same clock.
if [ -n "${WENDRIK_CLOCK:-}" ]; then
  offset=$(( $(date -u -d "$WENDRIK_CLOCK" +%s) - $(date -u +%s) ))
  run+=(env TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f "$(printf %+d "$offset")s")
fi
# A test that took a file's permissions away and failed before giving
# them back must not leave the device folder impossible to clear.
chmod -R u+rwX "$devroot"
# The platform's server starts afresh under these, and ends with them.
WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
cd "$devroot"
status=0
WINEPREFIX="$prefix" "${run[@]}" "$WINE64" "$tests" "$@" || status=$?
[ -n "${WENDRIK_CLOCK:-}" ] && { WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true; }
mountpoint -q "$full" && { WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null; umount "$full" 2>/dev/null || true; }
# Screenshots as PNG for people to look at.
if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit $status
