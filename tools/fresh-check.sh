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
# system is cached (WENDRIK_FRESH_CACHE, default /var/cache/wendrik-fresh),
# checked before each use and remade when it does not read back or is over
# a week old; whatever the two commands install never is. Logs, times and
# screenshots go to build/fresh-check/; the roots are removed afterwards
# unless --keep. Exit code 1 when a command or a step of the check failed,
# 3 only when the check cannot run here at all (not root, not Debian, no
# mmdebstrap package).
set -eEuo pipefail
# A step that fails unexpectedly says which, and is a failure (1), never
# "cannot run here" (3).
trap 'echo "fresh-check: FAILED at line $LINENO: $BASH_COMMAND" >&2; exit 1' ERR
# All of it in one block, which bash reads whole before it runs any of it:
# the script may be edited while a check runs.
{
here=$(cd "$(dirname "$0")" && pwd -P)
checkout=$(cd "$here/.." && pwd -P)
source "$here/packages.sh"
source "$here/script-lib.sh"
source "$here/wine-lib.sh"

keep= only=
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1; shift ;;
    --only) only=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "fresh-check.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

cannot() { echo "fresh-check.sh: cannot run here: $*" >&2; exit 3; }
[ "$(id -u)" = 0 ] || cannot "it needs root (chroot and mounts)"
[ -f /etc/debian_version ] && command -v apt-get >/dev/null || cannot "it needs Debian (apt-get, mmdebstrap)"

out="$checkout/build/fresh-check"
work="$checkout/build/fresh-roots"
mkdir -p "$out" "$work"
# One check a checkout at a time: a second one waits rather than take the
# first one's roots from under it.
exec 8>"$checkout/build/fresh-check.lock"
if ! flock -n 8; then
  echo "fresh-check: another check of this checkout is running; waiting for it"
  flock 8
fi
rm -f "$out"/*.log "$out"/*.png "$out"/report.txt
report="$out/report.txt"
note() { echo "fresh-check: $*" | tee -a "$report"; }
failed_step() { note "FAILED at: $*"; exit 1; }
seconds_since() { echo $(( $(date +%s) - $1 )); }

# What the check itself needs on the host.
host_packages=(mmdebstrap xvfb xauth git imagemagick)
missing=()
for p in "${host_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  note "installing on this machine: ${missing[*]}"
  apt-get update -qq --error-on=any >"$out/apt.log" 2>&1 || failed_step "apt-get update (see $out/apt.log)"
  policy=$(apt-cache policy mmdebstrap 2>/dev/null)
  grep -q 'Candidate: [0-9]' <<<"$policy" || cannot "this Debian has no mmdebstrap package"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$out/apt.log" 2>&1 ||
    failed_step "apt-get install ${missing[*]} (see $out/apt.log)"
fi

# Everything this run starts or mounts, so that it can be undone on any exit.
roots=() xvfb=
cleanup() {
  set +e
  trap - ERR
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  for r in ${roots[@]+"${roots[@]}"}; do
    stop_processes_in "$r"
    # The root is removed only when nothing is mounted in it any more.
    if ! unmount_under "$r"; then
      echo "fresh-check: $r still has mounts; left in place" >&2
    elif [ -z "$keep" ]; then
      rm -rf --one-file-system -- "$r"
    fi
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The base system: taken from the cache when it reads back, else made
# under a temporary name in the cache's folder and moved into place only
# when complete and sealed. The cache's lock is held while it is checked or
# made, and shared while roots are unpacked from it.
cache=${WENDRIK_FRESH_CACHE:-/var/cache/wendrik-fresh}
mkdir -p "$cache"
cache=$(realpath -- "$cache")
base="$cache/bookworm-minbase.tar"
# A lock that is no plain file (a folder, a link) is made anew, as the
# other cached files are.
if plain_or_gone "$cache/.lock"; then
  note "the cache's lock was not a plain file; made anew"
fi
exec 7>"$cache/.lock"
flock 7
rm -rf -- "$cache"/making.*
why=
if [ ! -e "$base" ] && [ ! -L "$base" ]; then
  why="no base system in the cache"
elif ! base_ok "$base"; then
  why="the cached base system does not read back; removing it"
  rm -rf -- "$base" "$base.sha256"
elif [ -n "$(find "$base" -mtime +7)" ]; then
  why="the cached base system is over a week old"
fi
if [ -n "$why" ]; then
  note "$why"
  t=$(date +%s)
  note "making a minimal Debian 12 root with mmdebstrap"
  making=$(mktemp -d "$cache/making.XXXXXX")
  mmdebstrap --variant=minbase --format=tar bookworm "$making/base.tar" >"$out/mmdebstrap.log" 2>&1 ||
    failed_step "mmdebstrap (see $out/mmdebstrap.log)"
  seal_base "$making/base.tar"
  base_ok "$making/base.tar" || failed_step "the new base system does not read back"
  mv -f -- "$making/base.tar.sha256" "$base.sha256"
  mv -f -- "$making/base.tar" "$base"
  rm -rf -- "$making"
  note "root made in $(seconds_since "$t") s"
else
  note "minimal Debian 12 root from the cache ($base)"
fi
flock -s 7

# new_root NAME: a fresh root with a clean clone of the checkout in /src,
# /proc, and a /dev of the few devices a build and Wine use; its path in r.
new_root() {
  r="$work/$1"
  # An earlier run of this checkout that died (the lock says none is live).
  if [ -e "$r" ]; then
    stop_processes_in "$r"
    unmount_under "$r" || failed_step "unmounting what an earlier run left in $r"
    rm -rf --one-file-system -- "$r"
  fi
  mkdir -p "$r"
  roots+=("$r")
  tar -xf "$base" -C "$r" || failed_step "unpacking the base system into $r"
  cp /etc/resolv.conf "$r/etc/resolv.conf" 2>/dev/null || true
  git clone -q "$checkout" "$r/src" || failed_step "cloning the checkout into $r"
  mount -t proc proc "$r/proc"
  mount -t tmpfs -o mode=755,nosuid wendrik-dev "$r/dev"
  local d
  for d in null zero full random urandom tty; do
    touch "$r/dev/$d"
    mount --bind "/dev/$d" "$r/dev/$d"
  done
  mkdir -p "$r/dev/pts" "$r/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$r/dev/pts"
  ln -s pts/ptmx "$r/dev/ptmx"
  mount -t tmpfs -o mode=1777,nosuid,nodev wendrik-shm "$r/dev/shm"
  ln -s /proc/self/fd "$r/dev/fd"
  ln -s /proc/self/fd/0 "$r/dev/stdin"
  ln -s /proc/self/fd/1 "$r/dev/stdout"
  ln -s /proc/self/fd/2 "$r/dev/stderr"
}

# root_command ROOT COMMAND...: sets cmd to run COMMAND as root in ROOT in
# a login-less, minimal environment, as the leader of a process group of
# its own (so that a timeout can end all of it); run it as "${cmd[@]}".
root_command() {
  local r=$1
  shift
  cmd=(setsid chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
       TERM=dumb ${DISPLAY_IN_ROOT:+DISPLAY=$DISPLAY_IN_ROOT} bash -c "$*")
}

# wait_for PID SECONDS: waits for a background command; on a timeout its
# whole process group is ended and the exit code is 124.
wait_for() {
  local pid=$1 rc=0
  if ! timeout "$2" tail --pid="$pid" -f /dev/null; then
    stop_group "$pid"
    wait "$pid" || true
    return 124
  fi
  wait "$pid" || rc=$?
  return $rc
}

status=0

if [ "$only" != run ]; then
  t=$(date +%s)
  new_root test
  note "test command: tools/test.sh in a fresh root (log: $out/test.log)"
  rc=0
  root_command "$r" 'cd /src && tools/test.sh'
  "${cmd[@]}" >"$out/test.log" 2>&1 &
  wait_for $! 2400 || rc=$?
  note "test command: exit code $rc after $(seconds_since "$t") s"
  { grep -E '^== ' "$out/test.log"; sed -n '/^== .* summary$/,$p' "$out/test.log" | sed 1d; } |
    sed 's/^/fresh-check:   /' | tee -a "$report" || true
  [ "$rc" = 0 ] || { status=1; tail -40 "$out/test.log"; }
fi

if [ "$only" != test ]; then
  new_root run
  # An X server of our own on the host. Clients in the root reach it
  # through its abstract socket, so nothing of the host's /tmp is bound in.
  start_xvfb || failed_step "starting a virtual X server"
  xvfb=$XVFB_PID
  DISPLAY_IN_ROOT=":$XVFB_DISPLAY"
  declare -A sizes=([320]=320x240 [480]=480x272 [240]=240x320)
  for width in 320 480 240; do
    t=$(date +%s)
    log="$out/run-$width.log"
    prefix="/src/build/wine/run-$width"
    note "run command: tools/run.sh --width $width (log: $log)"
    root_command "$r" "cd /src && tools/run.sh --width $width"
    "${cmd[@]}" >"$log" 2>&1 &
    run=$!
    # The watcher runs in the run command's own prefix once that is ready
    # for this screen, built with the compiler the run command installed.
    check=3 ready=
    for _ in $(seq 1800); do
      if grep -q "^${sizes[$width]} " "$r$prefix/.wendrik-settings" 2>/dev/null &&
         grep -q 'starting Wendrik' "$log"; then
        ready=1; break
      fi
      kill -0 "$run" 2>/dev/null || break
      sleep 1
    done
    if [ -n "$ready" ]; then
      root_command "$r" 'cd /src && [ -f build/window-check.exe ] || x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -static -municode \
        -o build/window-check.exe tests/wine/window_check.cpp tests/wine/driver.cpp -Itests/wine -lgdi32'
      "${cmd[@]}" >>"$log" 2>&1 || true
      check=0
      root_command "$r" "cd /src && source tools/wine-lib.sh && WINEPREFIX=$prefix \$WINE64 build/window-check.exe 60 'Z:\\src\\build\\main-$width.bmp'"
      "${cmd[@]}" >"$out/window-$width.log" 2>&1 || check=$?
      tr -d '\r' <"$out/window-$width.log" | sed 's/^/fresh-check:   /' | tee -a "$report"
    fi
    rc=0
    wait_for "$run" 60 || rc=$?
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
