#!/usr/bin/env bash
# Runs the user-interface tests under Wine on a screen of the given size:
#   wine-ui.sh WIDTH|WxH TEST.exe Wendrik.exe [test arguments]
# Each size has its own prefix and device folder (drive D:) in the build folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
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
mountpoint -q "$full" || mount -t tmpfs -o size=16k wendrik-full "$full" 2>/dev/null || true
if mountpoint -q "$full"; then
  map_drive "$prefix" e "$full"
  export WENDRIK_FULL_DRIVE=E:
fi
cd "$devroot"
status=0
WINEPREFIX="$prefix" "$WINE64" "$tests" "$@" || status=$?
mountpoint -q "$full" && { WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null; umount "$full" 2>/dev/null || true; }
# Screenshots as PNG for people to look at.
if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit $status
