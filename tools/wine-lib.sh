# Shared by the run and test commands: Wine prefixes inside the build folder.
# Source it; it defines functions only.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

# screen_size WIDTH: the device screen for a width (320, 480, 240), or any
# WIDTHxHEIGHT given as it is.
screen_size() {
  case "$1" in
    320) echo 320x240 ;;
    480) echo 480x272 ;;
    240) echo 240x320 ;;
    *x*) echo "$1" ;;
    *) echo "${1}x240" ;;
  esac
}

# prefix_ready PREFIX SIZE: creates the prefix when missing and sets its
# virtual desktop to SIZE. LogPixels 84 makes the dialog units come out at
# the device's size (Wine's default 96 makes the windows too large).
prefix_ready() {
  local prefix=$1 size=$2
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.wendrik-booted" ]; then
      rm -rf "$prefix"
      WINEPREFIX="$prefix" "$WINE64" wineboot -i >/dev/null 2>&1
      WINEPREFIX="$prefix" "$WINESERVER" -w
      touch "$prefix/.wendrik-booted"
    fi
    if [ "$(cat "$prefix/.wendrik-size" 2>/dev/null)" != "$size" ]; then
      local reg="$prefix/wendrik.reg"
      cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$size"

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:00000054

[HKEY_CURRENT_CONFIG\\Software\\Fonts]
"LogPixels"=dword:00000054

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
      WINEPREFIX="$prefix" "$WINE64" regedit /S "$(WINEPREFIX="$prefix" "$WINE64" winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
      # The desktop size and the DPI are read when the wineserver starts.
      WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
      WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null || true
      echo "$size" >"$prefix/.wendrik-size"
    fi
  ) 9>"$prefix.lock"
}

# map_drive PREFIX LETTER DIR: the drive letter names DIR inside Wine.
map_drive() {
  local prefix=$1 letter=$2 dir=$3
  ln -sfn "$(realpath "$dir")" "$prefix/dosdevices/$letter:"
}
