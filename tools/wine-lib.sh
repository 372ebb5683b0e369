# Shared by the run and test commands: Wine prefixes inside the build folder.
# Source it; it defines functions only.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
# Wine names files on the Unix side in the locale's character set; in a
# locale without UTF-8 (a bare root's "C", or a UTF-8 name that was never
# generated, as often over ssh), file names with umlauts or emoji, which
# storage cards do hold, cannot be made or opened at all. What counts is the
# character set the C library really gives, not the variable's name.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  export LC_ALL=C.UTF-8
fi
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

# The dialog font. The templates ask for "Tahoma"; Wine has no font of that
# name unless a prefix is given one, and draws a name it lacks with whatever
# sans-serif face the machine happens to have, so that the windows' sizes
# would follow the machine's fonts. Every prefix gets Wine's own Tahoma from
# Debian's fonts-wine in its Fonts folder: "Tahoma" then always resolves to
# that face, whatever else is installed.
export WENDRIK_DIALOG_FONT=Tahoma
DIALOG_FONT_PACKAGE=fonts-wine
DIALOG_FONT_FILE=/usr/share/wine/fonts/tahoma.ttf

# screen_dpi SIZE: the prefix's DPI for a screen. At 96, as on the device,
# the 10-point landscape windows come out at 321 x 235 and 480 x 267
# pixels; the 8-point portrait one would be 246 wide, its client area alone
# as wide as the screen, so 240 takes 84 (206 x 249), the largest that fits.
screen_dpi() {
  case "$1" in
    240x*) echo 84 ;;
    *) echo 96 ;;
  esac
}

# prefix_ready PREFIX SIZE: creates the prefix when missing and sets its
# virtual desktop to SIZE, its DPI and its dialog font. A prefix is marked
# as the project's before it is made; one that exists without the mark
# (someone's own, named by a variable) is never changed or removed.
PREFIX_MARK=.wendrik-prefix
prefix_ours() {
  [ -f "$1/$PREFIX_MARK" ] || [ -f "$1/.wendrik-booted" ]
}
prefix_ready() {
  local prefix=$1 size=$2
  local logpixels
  logpixels=$(screen_dpi "$size")
  local settings="$size $logpixels $DIALOG_FONT_FILE"
  if [ -e "$prefix" ] && ! prefix_ours "$prefix" && [ -n "$(ls -A "$prefix" 2>/dev/null)" ]; then
    echo "$prefix exists and was not made by Wendrik's scripts: left as it is; name another folder" >&2
    return 1
  fi
  if [ ! -f "$DIALOG_FONT_FILE" ]; then
    echo "the dialog font $DIALOG_FONT_FILE is missing: install $DIALOG_FONT_PACKAGE" >&2
    return 1
  fi
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.wendrik-booted" ]; then
      # Ours (marked) but never finished booting: made anew.
      if [ -e "$prefix" ] && prefix_ours "$prefix"; then rm -rf -- "$prefix"; fi
      mkdir -p "$prefix"
      touch "$prefix/$PREFIX_MARK"
      WINEPREFIX="$prefix" "$WINE64" wineboot -i >/dev/null 2>&1
      WINEPREFIX="$prefix" "$WINESERVER" -w
      touch "$prefix/.wendrik-booted"
    fi
    ln -sfn "$DIALOG_FONT_FILE" "$prefix/drive_c/windows/Fonts/$(basename "$DIALOG_FONT_FILE")"
    # The fonts, the desktop size and the DPI are read when the wineserver starts.
    if [ "$(cat "$prefix/.wendrik-settings" 2>/dev/null)" != "$settings" ]; then
      local reg="$prefix/wendrik.reg" dpi
      dpi=$(printf %08x "$logpixels")
      cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$size"

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$dpi

[HKEY_CURRENT_CONFIG\\Software\\Fonts]
"LogPixels"=dword:$dpi

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
      WINEPREFIX="$prefix" "$WINE64" regedit /S "$(WINEPREFIX="$prefix" "$WINE64" winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
      WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
      WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null || true
      echo "$settings" >"$prefix/.wendrik-settings"
    fi
  ) 9>"$prefix.lock"
}

# map_drive PREFIX LETTER DIR: the drive letter names DIR inside Wine.
map_drive() {
  local prefix=$1 letter=$2 dir=$3
  ln -sfn "$(realpath "$dir")" "$prefix/dosdevices/$letter:"
}

# start_xvfb: an X server of the caller's own on a display number that the
# server itself found free (abstract sockets, which chroots share, are
# taken into account only by the server); sets XVFB_DISPLAY (the number)
# and XVFB_PID, and fails when the server does not come up.
start_xvfb() {
  local file
  file=$(mktemp)
  XVFB_DISPLAY=
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 300); do
    XVFB_DISPLAY=$(head -n 1 "$file")
    [ -n "$XVFB_DISPLAY" ] && [ "$(wc -l <"$file")" -ge 1 ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$file"
  if [ -z "$XVFB_DISPLAY" ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
    echo "the virtual X server (Xvfb) did not start" >&2
    kill "$XVFB_PID" 2>/dev/null
    XVFB_PID= XVFB_DISPLAY=
    return 1
  fi
}
