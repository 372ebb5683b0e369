#!/usr/bin/env bash
# Starts Wendrik under Wine on a device folder, in a window of the device's
# screen size. Its exit code is the program's.
#
#   tools/run.sh [--width 320|480|240] [--card DIR] [-- PROGRAM ARGUMENTS]
#
#   --width  screen width: 320 (320x240, the default), 480 (480x272),
#            240 (240x320, portrait)
#   --card   use DIR, a copy of your own storage card, as "\Storage Card"
#            instead of the sample device
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
root=$(cd "$here/.." && pwd -P)
source "$here/packages.sh"
source "$here/script-lib.sh"
source "$here/wine-lib.sh"

width=320 card= args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --width) width=${2:?}; shift 2 ;;
    --width=*) width=${1#*=}; shift ;;
    --card) card=${2:?}; shift 2 ;;
    --card=*) card=${1#*=}; shift ;;
    --) shift; args=("$@"); break ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$width" in 320|480|240) ;; *) echo "run.sh: --width takes 320, 480 or 240" >&2; exit 2 ;; esac

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<MSG
run.sh: there is no X display to show the window on (DISPLAY is not set).
Run it from a desktop session, or give it a virtual one, for example:
  xvfb-run -a -s "-screen 0 1024x768x24" tools/run.sh
(xvfb-run comes with: apt-get install xvfb xauth)
MSG
  exit 2
fi

say() { echo "run.sh: $*"; }

# A first start on a fresh machine takes minutes: say what is going on.
say "checking the packages it needs (build tools, Wine, the dialog font)"
need_packages "${BUILD_PACKAGES[@]}"
need_expat_source "$root/build/expat-source"
build="$root/build"
# Configured every time: cheap when nothing changed, and a changed preset
# or a moved checkout never leaves a stale program to start.
say "configuring and building Wendrik.exe"
cd "$root"
configure_preset windows-app
cmake --build "$build/windows-app" --target Wendrik -j2 >/dev/null

# The device folder: a working copy of the sample device, made once and
# then left alone, or a device around the user's own card.
if [ -n "$card" ]; then
  [ -d "$card" ] || { echo "run.sh: $card is not a folder" >&2; exit 2; }
  card=$(realpath -- "$card")
  # A device of its own for each card, so that one card's tour hand-off
  # (My Documents) is never another card's.
  dev="$build/cards/$(basename -- "$card")-$(printf %s "$card" | cksum | cut -d' ' -f1)"
  mkdir -p "$dev/My Documents"
  ln -sfn "$card" "$dev/Storage Card"
else
  dev="$build/device"
  if [ ! -d "$dev" ]; then
    cp -r "$root/samples/device" "$dev"
    echo "run.sh: sample device copied to $dev"
  fi
fi
progdir="$dev/Storage Card/Wendrik"
mkdir -p "$progdir"
cmp -s "$build/windows-app/Wendrik.exe" "$progdir/Wendrik.exe" || cp "$build/windows-app/Wendrik.exe" "$progdir/Wendrik.exe"

# A prefix for each screen: its desktop size is read when its Wine server
# starts, so one shared between widths would end a running Wendrik.
prefix="$build/wine/run-$width"
[ -f "$prefix/.wendrik-booted" ] || say "making the Wine prefix $prefix (once, about half a minute)"
prefix_ready "$prefix" "$(screen_size "$width")"
map_drive "$prefix" d "$dev"
# The sample navigation position, unless the prefix already holds one:
# without it "Position" finds nothing, so a failed import stops here.
if ! grep -q 'streetdirector\\\\Position' "$prefix/user.reg" 2>/dev/null; then
  WINEPREFIX="$prefix" "$WINE64" regedit /S "$(WINEPREFIX="$prefix" "$WINE64" winepath -w "$root/samples/navigation.reg")" >/dev/null 2>&1 &&
    WINEPREFIX="$prefix" "$WINE64" reg query 'HKCU\Software\Elektrobit\streetdirector\Position' /v LastValidMercatorX >/dev/null 2>&1 || {
    echo "run.sh: could not import the sample navigation position (samples/navigation.reg) into $prefix" >&2
    exit 1
  }
fi
# With the working directory inside the device folder, Wine's current drive
# is D:, so "\Storage Card\..." and "\My Documents\..." resolve there.
cd "$dev"
say "starting Wendrik on a $(screen_size "$width") screen"
status=0
WINEPREFIX="$prefix" "$WINE64" 'D:\Storage Card\Wendrik\Wendrik.exe' ${args[@]+"${args[@]}"} || status=$?
exit $status
