# Shared by the set-up scripts: a clean environment, the build folders'
# configuration, and mounts, processes and caches found by what they really
# are rather than by what a path or a variable says. Source it; it defines
# functions only.

# clean_environment: only what a build and its tests may inherit. Anything
# else (GTEST_FILTER, a WINEPREFIX, CXXFLAGS, ASAN_OPTIONS, a preload, a
# fake clock, our own WENDRIK_* switches) would change which tests run or
# what they see, and a build keeps some of it for later runs.
clean_environment() {
  local name keep
  for name in $(compgen -e); do
    keep=
    case "$name" in
      PATH|HOME|USER|LOGNAME|SHELL|TERM|TMPDIR|LANG|LANGUAGE|LC_*|DISPLAY|XAUTHORITY) keep=1 ;;
      http_proxy|https_proxy|no_proxy|HTTP_PROXY|HTTPS_PROXY|NO_PROXY|CI) keep=1 ;;
    esac
    [ -n "$keep" ] || unset "$name" 2>/dev/null || true
  done
}

# configure_preset PRESET: configures a preset's build folder, every time
# (cheap when nothing changed, and the only way a changed preset reaches an
# existing folder). A folder that CMake made for another place (a copied or
# moved checkout) cannot be configured again and would build stale code:
# it is made anew.
configure_preset() {
  local preset=$1 top dir
  top=$(pwd -P)
  dir="$top/build/$preset"
  if build_dir_foreign "$dir" "$top"; then
    echo "build/$preset was configured for another checkout; making it anew"
    rm -rf -- "$dir"
  fi
  cmake --preset "$preset" >/dev/null
}

# build_dir_foreign DIR TOP: DIR holds a CMake cache whose source or build
# folder is not TOP's.
build_dir_foreign() {
  local dir=$1 top=$2 home bin
  [ -f "$dir/CMakeCache.txt" ] || return 1
  home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$dir/CMakeCache.txt")
  bin=$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' "$dir/CMakeCache.txt")
  [ "$(realpath -m -- "$home")" != "$(realpath -m -- "$top")" ] ||
    [ "$(realpath -m -- "$bin")" != "$(realpath -m -- "$dir")" ]
}

# mounts_under DIR: the mount points at or below DIR, one a line, deepest
# last. The mount table names them by their real path with blanks and
# backslashes written in octal (\040); DIR may be given through symlinks.
mounts_under() {
  local dir mp _
  dir=$(realpath -m -- "$1")
  while read -r _ mp _; do
    mp=$(printf '%b' "${mp//\\/\\0}")
    case "$mp" in "$dir" | "$dir"/*) printf '%s\n' "$mp" ;; esac
  done </proc/self/mounts
}

# unmount_under DIR: detaches everything mounted at or below DIR, the
# deepest first; fails when anything is left.
unmount_under() {
  local m
  mounts_under "$1" | sort -r | while IFS= read -r m; do umount -l -- "$m" || true; done
  [ -z "$(mounts_under "$1")" ]
}

# stop_processes_in ROOT: ends every process whose root folder is ROOT (what
# a chroot left running: Wine servers, a program whose run timed out).
stop_processes_in() {
  local dir p sig left
  dir=$(realpath -m -- "$1")
  for sig in TERM KILL; do
    left=
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/root" 2>/dev/null)" = "$dir" ] || continue
      kill -s "$sig" "${p#/proc/}" 2>/dev/null && left=1
    done
    [ -n "$left" ] || return 0
    [ "$sig" = KILL ] || sleep 2
  done
}

# stop_group PID: ends the process group that PID leads (started with
# setsid), politely first.
stop_group() {
  kill -TERM -- "-$1" 2>/dev/null || return 0
  for _ in 1 2 3 4 5; do
    kill -0 -- "-$1" 2>/dev/null || return 0
    sleep 1
  done
  kill -KILL -- "-$1" 2>/dev/null || true
}

# A cached base system is a tarball with its checksum beside it; it is used
# only when both read back: the sum matches, tar lists it to its end, and
# it holds apt-get.
# plain_or_gone FILE: FILE is a plain file or nothing; anything else there
# (a folder, a link) is removed, and 0 returned to say so.
plain_or_gone() {
  if { [ -e "$1" ] || [ -L "$1" ]; } && { [ ! -f "$1" ] || [ -L "$1" ]; }; then
    rm -rf -- "$1"
    return 0
  fi
  return 1
}
seal_base() {
  sha256sum <"$1" | cut -d' ' -f1 >"$1.sha256"
}
base_ok() {
  local tar=$1 list
  [ -f "$tar" ] && [ ! -L "$tar" ] && [ -f "$tar.sha256" ] || return 1
  [ "$(sha256sum <"$tar" | cut -d' ' -f1)" = "$(cat "$tar.sha256")" ] || return 1
  list=$(tar -tf "$tar" 2>/dev/null) || return 1
  grep -qx '\./usr/bin/apt-get' <<<"$list"
}
