# Installs the Debian packages named as arguments that are missing.
# Source it and call need_packages PKG...
need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}; run as root or install them with apt-get" >&2
    return 1
  fi
  echo "installing with apt-get (this takes a few minutes the first time): ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# libexpat1-dev: the GPX reader of the host build; dpkg-dev unpacks its
# source for the cross builds (tools/expat-source.sh).
BUILD_PACKAGES=(cmake make g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 libwine fonts-wine
                libexpat1-dev dpkg-dev)
TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev xvfb xauth imagemagick faketime clang libfuzzer-14-dev libclang-rt-14-dev
               g++-arm-linux-gnueabi qemu-user)

# Debian's source of expat for the cross builds (Windows, armel), unpacked
# and checked under build/expat-source; CMake's configure step checks it
# again. Needs the build packages (dpkg-dev).
need_expat_source() {
  "$(dirname "${BASH_SOURCE[0]}")/expat-source.sh" "${1:-build/expat-source}"
}
