#!/usr/bin/env bash
# Checks the README's two commands as a new user meets them: each in a
# fresh, minimal Debian 12 root, on a clean clone of this checkout.
#
#   tools/fresh-check.sh [--keep] [--only test|run]
#
#   1. the test command, tools/test.sh, in one fresh root;
#   2. the run command, tools/run.sh, in a second fresh root, at each of
#      the three widths: the main window must show, whole on its screen
#      (checked from inside Wine), and a screenshot of it is kept.
#
# Root on Debian only (it uses mmdebstrap, chroot and mounts). The base
# system is cached (WENDRIK_FRESH_CACHE, default /var/cache/wendrik-fresh,
# remade after a week); whatever the two commands install never is.
# Logs, times and screenshots go to build/fresh-check/; the roots are
# removed afterwards unless --keep. Exit code 1 when either command
# failed, 3 when the check cannot run here at all.
set -euo pipefail
# All of it in one block, which bash reads whole before it runs any of it:
# the script may be edited while a check runs.
{
here=$(cd "$(dirname "$0")" && pwd)
checkout=$(cd "$here/.." && pwd)
source "$here/packages.sh"
source "$here/wine-lib.sh"

keep= only=
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1; shift ;;
    --only) only=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "fresh-check.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

[ "$(id -u)" = 0 ] || { echo "fresh-check.sh: needs root (chroot and mounts)" >&2; exit 3; }
need_packages mmdebstrap xvfb xauth git imagemagick >/dev/null || { echo "fresh-check.sh: mmdebstrap cannot be installed" >&2; exit 3; }

out="$checkout/build/fresh-check"
work="$checkout/build/fresh-roots"
cache=${WENDRIK_FRESH_CACHE:-/var/cache/wendrik-fresh}
base="$cache/bookworm-minbase.tar"
mkdir -p "$out" "$work" "$cache"
rm -f "$out"/*.log "$out"/*.png "$out"/report.txt
report="$out/report.txt"
note() { echo "fresh-check: $*" | tee -a "$report"; }

# Everything this script mounts, so that it can be undone on any exit.
roots=() xvfb=
# unmount_all ROOT: everything mounted at or below ROOT, deepest first.
unmount_all() {
  { grep -o " $1/[^ ]*" /proc/mounts || true; } | sort -r | while read -r m; do umount -l "$m"; done
}
cleanup() {
  set +e
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  for r in ${roots[@]+"${roots[@]}"}; do
    # Wine servers the commands left running inside.
    for p in "$r"/src/build/wine/*/; do
      [ -f "$p/system.reg" ] && in_root "$r" "WINEPREFIX=${p#"$r"} /usr/lib/wine/wineserver -k" 2>/dev/null
    done
    # What the commands mounted inside, then ours; the root is removed
    # only when nothing is mounted in it any more.
    unmount_all "$r"
    if grep -q " $r/" /proc/mounts; then
      echo "fresh-check: $r still has mounts; left in place" >&2
    elif [ -z "$keep" ]; then
      rm -rf --one-file-system "$r"
    fi
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

seconds_since() { echo $(( $(date +%s) - $1 )); }

# The base system, made once and then taken from the cache.
if [ ! -f "$base" ] || [ -n "$(find "$base" -mtime +7 2>/dev/null)" ]; then
  t=$(date +%s)
  note "making a minimal Debian 12 root with mmdebstrap"
  if ! mmdebstrap --variant=minbase bookworm "$base.part" >"$out/mmdebstrap.log" 2>&1; then
    rm -f "$base.part"
    echo "fresh-check.sh: mmdebstrap could not make a root (see $out/mmdebstrap.log)" >&2
    exit 3
  fi
  mv "$base.part" "$base"
  note "root made in $(seconds_since "$t") s"
else
  note "minimal Debian 12 root from the cache ($base)"
fi

# new_root NAME: a fresh root with a clean clone of the checkout in /src,
# and /proc, /sys, /dev and /dev/pts mounted; its path in r.
new_root() {
  r="$work/$1"
  unmount_all "$r"
  if grep -q " $r/" /proc/mounts; then
    echo "fresh-check: cannot unmount what an earlier run left in $r" >&2
    exit 1
  fi
  rm -rf --one-file-system "$r"
  mkdir -p "$r"
  roots+=("$r")
  tar -xf "$base" -C "$r"
  cp /etc/resolv.conf "$r/etc/resolv.conf" 2>/dev/null || true
  git clone -q "$checkout" "$r/src"
  mount -t proc proc "$r/proc"
  mount --rbind /sys "$r/sys" && mount --make-rslave "$r/sys"
  mount --rbind /dev "$r/dev" && mount --make-rslave "$r/dev"
  mountpoint -q "$r/dev/pts" || mount -t devpts devpts "$r/dev/pts"
}

# in_root ROOT COMMAND...: runs as root in a login-less, minimal environment.
in_root() {
  local r=$1
  shift
  chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    TERM=dumb ${DISPLAY_IN_ROOT:+DISPLAY=$DISPLAY_IN_ROOT} bash -c "$*"
}

status=0

if [ "$only" != run ]; then
  t=$(date +%s)
  new_root test
  note "test command: tools/test.sh in a fresh root (log: $out/test.log)"
  rc=0
  in_root "$r" 'cd /src && tools/test.sh' >"$out/test.log" 2>&1 || rc=$?
  note "test command: exit code $rc after $(seconds_since "$t") s"
  grep -E '^== |tests passed|^FAILED' "$out/test.log" | sed 's/^/fresh-check:   /' | tee -a "$report" || true
  [ "$rc" = 0 ] || { status=1; tail -40 "$out/test.log"; }
fi

if [ "$only" != test ]; then
  new_root run
  # An X server of our own on the host; the root sees its socket.
  start_xvfb 121 160
  xvfb=$XVFB_PID
  mkdir -p "$r/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$r/tmp/.X11-unix"
  DISPLAY_IN_ROOT=":$XVFB_DISPLAY"
  declare -A sizes=([320]=320x240 [480]=480x272 [240]=240x320)
  for width in 320 480 240; do
    t=$(date +%s)
    log="$out/run-$width.log"
    note "run command: tools/run.sh --width $width (log: $log)"
    in_root "$r" "cd /src && tools/run.sh --width $width" >"$log" 2>&1 &
    run=$!
    # The watcher runs in the run command's own prefix once that is ready
    # for this screen, built with the compiler the run command installed.
    check=3 ready=
    for _ in $(seq 1800); do
      if grep -q "^${sizes[$width]} " "$r/src/build/wine/run/.wendrik-settings" 2>/dev/null &&
         grep -q 'starting Wendrik' "$log"; then
        ready=1; break
      fi
      kill -0 "$run" 2>/dev/null || break
      sleep 1
    done
    if [ -n "$ready" ]; then
      in_root "$r" 'cd /src && [ -f build/window-check.exe ] || x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -static -municode \
        -o build/window-check.exe tests/wine/window_check.cpp tests/wine/driver.cpp -Itests/wine -lgdi32' >>"$log" 2>&1 || true
      check=0
      in_root "$r" "cd /src && source tools/wine-lib.sh && WINEPREFIX=/src/build/wine/run \$WINE64 build/window-check.exe 60 'Z:\\src\\build\\main-$width.bmp'" \
        >"$out/window-$width.log" 2>&1 || check=$?
      cat "$out/window-$width.log" | tr -d '\r' | sed 's/^/fresh-check:   /' | tee -a "$report"
    fi
    rc=0
    if ! timeout 60 tail --pid="$run" -f /dev/null; then kill "$run" 2>/dev/null || true; fi
    wait "$run" || rc=$?
    shot=
    if [ -f "$r/src/build/main-$width.bmp" ]; then
      shot="$out/main-$width.png"
      convert "$r/src/build/main-$width.bmp" "$shot"
    fi
    note "run command at $width: exit code $rc, window check $check, $(seconds_since "$t") s${shot:+, screenshot $shot}"
    [ "$rc" = 0 ] && [ "$check" = 0 ] || status=1
  done
fi

if [ "$status" = 0 ]; then note "both commands passed"; else note "FAILED (see $out)"; fi
exit "$status"
}
