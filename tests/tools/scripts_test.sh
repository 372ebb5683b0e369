#!/usr/bin/env bash
# The set-up scripts' helpers against what broke them before: a checkout
# path with a blank and a symlink, broken caches, an inherited test filter,
# a prefix that is not ours, a locale that exists in name only, an X server
# that does not start. Results are printed in GoogleTest's form, so that the
# test command's summary lists a skip with its reason.
set -u
tools=$(cd "$(dirname "$0")/../../tools" && pwd -P)
source "$tools/script-lib.sh"
dir=$(mktemp -d)
cleanup() {
  [ "$(id -u)" = 0 ] && unmount_under "$dir" >/dev/null 2>&1
  rm -rf --one-file-system -- "$dir"
}
trap cleanup EXIT
passed=0 failed=0 name=

begin() { name=$1; echo "[ RUN      ] Scripts.$name"; errors=0; }
expect() {  # expect DESCRIPTION COMMAND...: COMMAND must succeed
  local what=$1
  shift
  if ! "$@"; then echo "scripts_test.sh: Failure: $what"; errors=$((errors + 1)); fi
}
refute() {  # refute DESCRIPTION COMMAND...: COMMAND must fail
  local what=$1
  shift
  if "$@"; then echo "scripts_test.sh: Failure: $what"; errors=$((errors + 1)); fi
}
end() {
  if [ "$errors" = 0 ]; then
    echo "[       OK ] Scripts.$name (0 ms)"; passed=$((passed + 1))
  else
    echo "[  FAILED  ] Scripts.$name (0 ms)"; failed=$((failed + 1))
  fi
}
skip() { echo "scripts_test.sh: Skipped"; echo "$1"; echo "[  SKIPPED ] Scripts.$name (0 ms)"; }

begin MountsAreFoundByTheirRealPath
if [ "$(id -u)" != 0 ]; then
  skip "mounting needs root"
else
  mkdir -p "$dir/real dir/root/proc"
  ln -s "$dir/real dir" "$dir/link"
  mount -t tmpfs scripts-test "$dir/real dir/root/proc"
  mkdir "$dir/real dir/root/proc/inner"
  mount -t tmpfs scripts-test "$dir/real dir/root/proc/inner"
  expect "both mounts seen through the symlink" [ "$(mounts_under "$dir/link/root" | wc -l)" = 2 ]
  expect "the blank read back" grep -qx "$dir/real dir/root/proc" <<<"$(mounts_under "$dir/link/root")"
  expect "nothing seen beside the folder" [ -z "$(mounts_under "$dir/real")" ]
  expect "all of it undone" unmount_under "$dir/link/root"
  expect "nothing left mounted" [ -z "$(mounts_under "$dir/real dir")" ]
  end
fi

begin ALockThatIsNoPlainFileIsMadeAnew
mkdir -p "$dir/locks/folder/inside"
ln -s folder "$dir/locks/link"
: >"$dir/locks/plain"
expect "a folder is removed" plain_or_gone "$dir/locks/folder"
expect "a link is removed" plain_or_gone "$dir/locks/link"
refute "a plain file stays" plain_or_gone "$dir/locks/plain"
refute "nothing there is nothing to do" plain_or_gone "$dir/locks/none"
expect "the plain file is there, the others gone" test -f "$dir/locks/plain" -a ! -e "$dir/locks/folder" -a ! -L "$dir/locks/link"
end

begin CachedBaseSystemIsUsedOnlyWhenItReadsBack
mkdir -p "$dir/base/usr/bin" "$dir/cache"
head -c 300000 /dev/urandom >"$dir/base/usr/bin/apt-get"
tar -cf "$dir/cache/good.tar" -C "$dir/base" .
seal_base "$dir/cache/good.tar"
expect "a sealed tarball with apt-get" base_ok "$dir/cache/good.tar"
mkdir "$dir/cache/folder.tar"
echo 0 >"$dir/cache/folder.tar.sha256"
refute "a folder in place of the tarball" base_ok "$dir/cache/folder.tar"
head -c 150000 "$dir/cache/good.tar" >"$dir/cache/cut.tar"
seal_base "$dir/cache/cut.tar"
refute "a truncated tarball, even sealed" base_ok "$dir/cache/cut.tar"
cp "$dir/cache/good.tar" "$dir/cache/unsealed.tar"
refute "a tarball without its seal" base_ok "$dir/cache/unsealed.tar"
printf x >>"$dir/cache/good.tar"
refute "a tarball changed after sealing" base_ok "$dir/cache/good.tar"
rm "$dir/base/usr/bin/apt-get"
tar -cf "$dir/cache/empty.tar" -C "$dir/base" .
seal_base "$dir/cache/empty.tar"
refute "a tarball without apt-get" base_ok "$dir/cache/empty.tar"
end

begin InheritedVariablesDoNotReachTheTests
env=$(GTEST_FILTER=Nothing.* GTEST_ALSO_RUN_DISABLED_TESTS=1 WINEPREFIX=/x WENDRIK_BUILD=/x CXXFLAGS=-O0 \
  ASAN_OPTIONS=detect_leaks=0 LD_PRELOAD= LANG=C.UTF-8 bash -c "source '$tools/script-lib.sh'; clean_environment; env")
refute "no GTEST_, WINE, WENDRIK_, flags or sanitizer options" grep -qE '^(GTEST_|WINE|WENDRIK_|CXXFLAGS|ASAN_|LD_PRELOAD)' <<<"$env"
expect "PATH and the locale kept" grep -q '^LANG=C.UTF-8$' <<<"$env"
expect "PATH kept" grep -q '^PATH=' <<<"$env"
end

begin PrefixNotMadeByUsIsLeftAlone
mkdir -p "$dir/someones-prefix"
echo precious >"$dir/someones-prefix/system.reg"
out=$(WENDRIK_WINEPREFIX="$dir/someones-prefix" "$tools/wine-exec.sh" cmd /c exit 2>&1)
expect "it refuses" [ $? != 0 ]
expect "it says why" grep -q 'not made by' <<<"$out"
expect "its files untouched" [ "$(cat "$dir/someones-prefix/system.reg")" = precious ]
expect "nothing added" [ "$(ls -A "$dir/someones-prefix")" = system.reg ]
end

begin LocaleIsJudgedByItsCharacterSet
charmap=$(env -u LC_ALL -u LC_CTYPE LANG=xx_XX.UTF-8 bash -c "source '$tools/wine-lib.sh'; locale charmap" 2>/dev/null)
expect "a UTF-8 name that was never generated gets UTF-8 (got $charmap)" [ "$charmap" = UTF-8 ]
charmap=$(env -u LANG -u LC_CTYPE LC_ALL=C bash -c "source '$tools/wine-lib.sh'; locale charmap" 2>/dev/null)
expect "C gets UTF-8 (got $charmap)" [ "$charmap" = UTF-8 ]
end

begin XServerIsOursOrNone
if ! command -v Xvfb >/dev/null; then
  skip "Xvfb is not installed"
else
  mkdir -p "$dir/bin"
  printf '#!/bin/sh\nexit 1\n' >"$dir/bin/Xvfb"
  chmod +x "$dir/bin/Xvfb"
  refute "a server that does not start is a failure" bash -c "PATH='$dir/bin':\$PATH; source '$tools/wine-lib.sh'; start_xvfb" 2>/dev/null
  pair=$(bash -c "source '$tools/wine-lib.sh'; start_xvfb || exit 1; a=\$XVFB_DISPLAY; p=\$XVFB_PID
    start_xvfb || exit 1; echo \$a \$XVFB_DISPLAY; kill -0 \$p && kill -0 \$XVFB_PID; kill \$p \$XVFB_PID")
  expect "two servers get two displays, both alive (got '$pair')" [ -n "$pair" -a "${pair% *}" != "${pair#* }" ]
  end
fi

begin BuildFolderOfAnotherCheckoutIsNoticed
mkdir -p "$dir/here/build/host" "$dir/moved"
printf 'CMAKE_HOME_DIRECTORY:INTERNAL=%s\nCMAKE_CACHEFILE_DIR:INTERNAL=%s\n' "$dir/here" "$dir/here/build/host" \
  >"$dir/here/build/host/CMakeCache.txt"
refute "its own" build_dir_foreign "$dir/here/build/host" "$dir/here"
cp -r "$dir/here/build" "$dir/moved/"
expect "a moved copy" build_dir_foreign "$dir/moved/build/host" "$dir/moved"
end

begin ExpatSourceLeavesAForeignFolderAlone
mkdir -p "$dir/foreign/apt"
echo mine >"$dir/foreign/apt/notes"
refute "a folder it did not make is refused" "$tools/expat-source.sh" "$dir/foreign" 2>/dev/null
expect "and left as it was" grep -q mine "$dir/foreign/apt/notes"
end

echo "scripts: $passed passed, $failed failed"
[ "$failed" = 0 ]
