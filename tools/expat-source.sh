#!/usr/bin/env bash
# Unpacks Debian's source package of expat, the XML library that
# "wendrik-cli convert" reads GPX with, into DEST (default
# build/expat-source), for the builds that cannot link the system's own
# library: Windows (mingw-w64) and armel. They compile the same release
# the host links.
#   tools/expat-source.sh [DEST]
# The source entries are this machine's own deb entries as deb-src, kept
# with a private apt state under DEST: the system's apt is left as it was,
# and no host name is written anywhere. The unpacked source is checked
# against the sums recorded when it was made, and made anew when it does
# not read back. Needs apt-get and dpkg-source (dpkg-dev).
set -euo pipefail
dest=${1:-build/expat-source}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd -P)
sums="$dest/SHA256SUMS"
# Only a folder this script made (its mark, or its sums, inside) or an
# empty one is written to: what it removes below lies inside its own folder.
mark="$dest/.wendrik-expat-source"
if [ ! -e "$mark" ] && [ ! -e "$sums" ] && [ -n "$(ls -A "$dest")" ]; then
  echo "expat-source: $dest is not empty and was not made by this script; name another folder" >&2
  exit 1
fi
touch "$mark"
if [ -s "$sums" ] && (cd "$dest" && sha256sum --quiet --strict -c SHA256SUMS) >/dev/null 2>&1 &&
   [ -f "$dest/expat/expat/lib/xmlparse.c" ]; then
  exit 0
fi
[ ! -e "$sums" ] || echo "expat-source: the unpacked source does not read back; making it anew"
rm -rf "$dest/expat" "$dest/apt" "$dest/download" "$sums"
mkdir -p "$dest/apt/lists/partial" "$dest/apt/parts" "$dest/apt/cache/archives/partial" "$dest/download"

# deb-src beside every deb entry of this machine, one-line and deb822 alike.
deb_to_src() { sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$1"; }
if [ -f /etc/apt/sources.list ]; then deb_to_src /etc/apt/sources.list; fi >"$dest/apt/sources.list"
for f in /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] && deb_to_src "$f" >"$dest/apt/parts/$(basename "$f")"
done
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && sed 's/^Types:.*$/Types: deb-src/' "$f" >"$dest/apt/parts/$(basename "$f")"
done

apt=(-q -o Dir::Etc::SourceList="$dest/apt/sources.list" -o Dir::Etc::SourceParts="$dest/apt/parts"
     -o Dir::State::Lists="$dest/apt/lists" -o Dir::Cache="$dest/apt/cache" -o Debug::NoLocking=1
     -o APT::Sandbox::User="$(id -un)")
echo "expat-source: reading the source index"
apt-get "${apt[@]}" update >"$dest/apt/update.log" 2>&1 ||
  { cat "$dest/apt/update.log" >&2; echo "expat-source: apt-get update failed" >&2; exit 1; }

# The release of the host's libexpat1-dev where the archive still has it,
# else the newest the index names that downloads.
installed=$(dpkg-query -W -f='${source:Version}' libexpat1-dev 2>/dev/null || true)
versions=$(apt-cache "${apt[@]}" showsrc expat 2>/dev/null | sed -n 's/^Version: //p' | sort -r -V | uniq)
got=
cd "$dest/download"
for v in $installed $versions; do
  rm -f ./*
  if apt-get "${apt[@]}" source --download-only "expat=$v" >"$dest/apt/source.log" 2>&1; then
    got=$v
    break
  fi
done
[ -n "$got" ] || { cat "$dest/apt/source.log" >&2; echo "expat-source: no source of expat downloads" >&2; exit 1; }
dpkg-source --no-check -x ./*.dsc "$dest/expat" >"$dest/apt/unpack.log" 2>&1 ||
  { cat "$dest/apt/unpack.log" >&2; echo "expat-source: dpkg-source failed" >&2; exit 1; }
[ -f "$dest/expat/expat/lib/xmlparse.c" ] || { echo "expat-source: no expat/lib/xmlparse.c in the source" >&2; exit 1; }
cd "$dest"
find expat/expat -type f \( -name '*.c' -o -name '*.h' -o -name '*.cmake' -o -name '*.in' -o -name CMakeLists.txt \) \
  -print0 | sort -z | xargs -0 sha256sum >"$sums.new"
mv "$sums.new" "$sums"
rm -rf "$dest/download" "$dest/apt/cache"
rm -f "$dest"/*.orig.tar.* "$dest"/*.debian.tar.* "$dest"/*.dsc
echo "expat-source: expat $got unpacked in $dest/expat"
