#!/usr/bin/env bash
# Makes the README's pictures of the real windows anew from the built
# program, under an X display of its own, at the device sizes:
#   tools/screenshots.sh        writes docs/pictures/*.png
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
root=$(cd "$here/.." && pwd -P)
source "$here/packages.sh"
source "$here/script-lib.sh"
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
cd "$root"
configure_preset windows
cmake --build --preset windows --target Wendrik pictures >/dev/null
raw="$root/build/pictures"
pics="$root/docs/pictures"
rm -rf "$raw"
mkdir -p "$raw" "$pics"

source "$here/wine-lib.sh"
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
export DISPLAY=":$XVFB_DISPLAY"

winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
for width in 320 480 240; do
  "$here/wine-ui.sh" "$width" "$root/build/windows/tests/wine/pictures.exe" "$root/build/windows/Wendrik.exe" \
    "$(winpath "samples/device/Storage Card/Routen/POIs")" "$(winpath "$raw")"
done
# Without time stamps, so that unchanged windows give unchanged files.
for bmp in "$raw"/*.bmp; do
  convert "$bmp" -strip "$pics/$(basename "${bmp%.bmp}").png"
done
ls "$pics"
