#!/usr/bin/env bash
# Makes the README's pictures of the real windows anew from the built
# program, under an X display of its own, at the device sizes:
#   tools/screenshots.sh        writes docs/pictures/*.png
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/packages.sh"
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Wendrik pictures >/dev/null
raw="$root/build/pictures"
pics="$root/docs/pictures"
rm -rf "$raw"
mkdir -p "$raw" "$pics"

display=
for n in $(seq 161 200); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

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
