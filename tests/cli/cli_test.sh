#!/usr/bin/env bash
# The real wendrik-cli against real files:  cli_test.sh [RUNNER...] CLI
# (RUNNER runs a Windows build, e.g. tools/wine-exec.sh).
set -u
cli=("$@")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0 failed=0
check() {  # name expected-status expected-output-pattern -- args
  local name=$1 want=$2 pattern=$3
  shift 4
  local out status
  "${cli[@]}" "$@" >"$dir/out" 2>&1
  status=$?
  out=$(tr -d '\r' <"$dir/out")
  if [ "$status" -eq "$want" ] && grep -q -E -- "$pattern" <<<"$out"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name: status $status (want $want), output:"; echo "$out" | sed 's/^/    /'
  fi
}
winpath() { if [ -n "${WINE_PATHS:-}" ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi; }

printf '8.70,50.10,"A"\r\n8.60,50.20,"B"\r\n9.50,50.10,"Fern"\r\n8.69,50.11,"C"\r\n0,0,"leer"\r\n8.66,50.12,"D"\r\n8.68,50.30,"E"\r\n8.68,50.11,"Bahnhof"' >"$dir/orte.asc"
printf '6.958,50.941,"K\xc3\xb6lner Dom"\n' >"$dir/dom.asc"
mkdir "$dir/x.asc"

check help 0 'usage: wendrik-cli near' -- --help
check "no arguments" 2 'usage' --
check near 0 '^8.70,50.10,"A  1.8 km SO"$' -- near "$(winpath "$dir/orte.asc")" 50.11 8.68
out=$("${cli[@]}" near "$(winpath "$dir/orte.asc")" 50.11 8.68 | tr -d '\r')
expected='8.70,50.10,"A  1.8 km SO"
8.60,50.20,"B  11.5 km NNW"
8.68,50.11,"Bahnhof  0.0 km N"
8.69,50.11,"C  0.7 km O"
8.66,50.12,"D  1.8 km NW"'
if [ "$out" == "$expected" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL near lines:"; echo "$out"; fi
check "umlauts out as UTF-8" 0 'Kölner Dom  ' -- near "$(winpath "$dir/dom.asc")" 50.9 6.9
check "the field's number at the start" 0 'A  1.8 km SO' -- near "$(winpath "$dir/orte.asc")" 50.11abc 8.68
check "missing file" 1 'cannot read' -- near "$(winpath "$dir/fehlt.asc")" 50 8
check "a folder" 1 'cannot read' -- near "$(winpath "$dir/x.asc")" 50 8
check "latitude not a number" 2 'not a latitude' -- near "$(winpath "$dir/orte.asc")" Nord 8
check "wrong count" 2 'takes 3 arguments' -- near "$(winpath "$dir/orte.asc")" 50
check distance 0 '^504.565 km 195.63 SSW$' -- distance 52.52 13.405 48.1374 11.5755
check "distance not a number" 2 'not a finite number: x' -- distance 52.52 x 48 11
check "distance of nan" 2 'not a finite number: nan' -- distance nan 0 0 0
check "distance of numbers too large" 2 'too large to give a distance' -- distance 0 1e308 0 0
check position 0 '^50.350973 8.993216$' -- position 1000000 6500000
check "position west and south" 0 '^-33.893362 -4.487615$' -- position -499000 -4010000
check "position as unsigned bytes" 0 '^0.000000 -0.000009$' -- position 4294967295 0
check "position not metres" 2 'not a whole number' -- position 1.5 0
# The sample device's files, under names that any locale passes on.
samples="$(dirname "$0")/../../samples/device/Storage Card/Routen/POIs"
cp "$samples/Sehenswürdigkeiten.asc" "$dir/sights.asc"
cp "$samples/Tankstellen.asc" "$dir/fuel.asc"
check "check the sample files" 0 'fuel.asc: UTF-8, 12 lines, 12 list entries, 12 positions for the search; nothing to report' \
  -- check "$(winpath "$dir/sights.asc")" "$(winpath "$dir/fuel.asc")"
check "check a sample, quietly" 0 'sights.asc: Windows-1252, 15 lines' -- check --quiet "$(winpath "$dir/sights.asc")"
printf 'Name;Lon;Lat\r\n\r\n8.5\r\n8.5,\r\n0,0,"leer"\r\n8.68,50.11,"ok"\r\n' >"$dir/schlecht.asc"
out=$("${cli[@]}" check "$(winpath "$dir/schlecht.asc")" | tr -d '\r' | sed 's/^.*schlecht.asc/F/')
expected='F:1: skipped by the search: no number where the longitude should be
F:2: skipped by the search: empty line
F:3: skipped by the search: nothing after the longitude
F:4: skipped by the search: no latitude after the longitude and one separator
F:5: skipped by the search: position 0,0 (the mark of no position)
F: ASCII, 6 lines, 6 list entries, 1 position for the search; 5 lines skipped'
if [ "$out" == "$expected" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL check lines:"; echo "$out"; fi
check "check skips: exit 1" 1 'skipped' -- check "$(winpath "$dir/schlecht.asc")"
check "check a folder" 1 'x.asc: cannot read: it is a folder' -- check "$(winpath "$dir/x.asc")"
check "check a missing file" 1 'fehlt.asc: cannot read: no such file' -- check "$(winpath "$dir/fehlt.asc")"
check "check without files" 2 'one or more files' -- check --quiet
out=$("${cli[@]}" check "$(winpath "$dir/schlecht.asc")" --quiet | tr -d '\r')
if [ "$out" == "${out#*:1:}" ] && grep -q '5 lines skipped' <<<"$out"; then passed=$((passed + 1)); else
  failed=$((failed + 1)); echo "FAIL options after the files: $out"; fi
printf '8.1,50.1,"a"\r8.2,50.2,"b"\r8.3,50.3,"c"\r' >"$dir/mac.asc"
check "line ends of CR alone: exit 1" 1 'never sees 2 positions' -- check "$(winpath "$dir/mac.asc")"
# A CR before the longitude is white space to the number reader: the
# search ranks what follows (LF CR line ends); a CR that hides no position
# is said, and exits 0.
printf '1,1,"a"\n\r8.68,50.11,"b"\n\r8.69,50.12,"c"\n' >"$dir/lfcr.asc"
check "LF CR line ends hide nothing" 0 'lfcr.asc: ASCII, 3 lines, 3 list entries, 3 positions for the search; 2 lines with line ends of CR alone$' \
  -- check "$(winpath "$dir/lfcr.asc")"
check "LF CR line ends: near ranks them" 0 '"b  0.0 km N"' -- near "$(winpath "$dir/lfcr.asc")" 50.11 8.68
printf '8.68,50.11,"Note:\rsee web"\n' >"$dir/note.asc"
check "a CR inside a name" 0 'note.asc:1: 1 line end of CR alone in this line: the list shows it as a box, and no position lies behind it' \
  -- check "$(winpath "$dir/note.asc")"
# A zero-filled end, a sequence cut off by the end, a separator that takes
# two UTF-16 units (on the device no latitude follows it), a reference
# without a distance.
head -c 4096 /dev/zero >"$dir/zeros.asc"
{ printf '8.5,50.1,"a"\n'; head -c 4096 /dev/zero; } >"$dir/tail.asc"
check "a file of NULs" 1 'zeros.asc:1: 4096 NUL characters after the last line' -- check "$(winpath "$dir/zeros.asc")"
check "NULs after the last line" 1 'tail.asc: ASCII, 1 line.*4096 NUL characters after the last line$' -- check "$(winpath "$dir/tail.asc")"
printf '8.5,50.1,"M\xc3\xbchle"\n9,50,"x\xc3' >"$dir/cut.asc"
check "a sequence cut off by the end" 0 'cut.asc:2: byte 0xC3 is not UTF-8' -- check "$(winpath "$dir/cut.asc")"
printf '8.68\xf0\x9f\x98\x8050.11,"b"\n8.68,50.11,"c"\n' >"$dir/wide.asc"
check "a separator of two units: check" 1 'wide.asc:1: skipped by the search: no latitude' -- check "$(winpath "$dir/wide.asc")"
out=$("${cli[@]}" near "$(winpath "$dir/wide.asc")" 50.11 8.68 | tr -d '\r')
[ "$out" == '8.68,50.11,"c  0.0 km N"' ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL a separator of two units: near: $out"; }
check "near from no distance" 2 'no distance can be had' -- near "$(winpath "$dir/orte.asc")" 1e308 8
# What only a system whose file names are bytes and whose files may be
# pipes has: the native build.
if [ -z "${WINE_PATHS:-}" ]; then
  latin1=$(printf '%s/Stra\xdfe.asc' "$dir")
  cp "$dir/orte.asc" "$latin1"
  check "a Latin-1 file name opens" 0 'Bahnhof' -- near "$latin1" 50.11 8.68
  out=$(LC_ALL=C.UTF-8 "${cli[@]}" check --quiet "$latin1" | head -c 200)
  if [ "$out" == "$latin1: ASCII, 8 lines, 8 list entries, 7 positions for the search; 1 line skipped" ]; then
    passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL the name printed as given: $out"; fi
  mkfifo "$dir/pipe.asc"
  plain=("${cli[@]}")
  cli=(timeout 20 "${plain[@]}")
  check "a pipe is refused at once" 1 'not a regular file' -- check "$(winpath "$dir/pipe.asc")"
  check "a device is refused at once" 1 'not a regular file' -- check /dev/zero
  cli=("${plain[@]}")
  # A million blank lines: each finding goes out as it is found, in flat
  # memory, and a reader that stops reading ends the run.
  head -c 1000000 /dev/zero | tr '\0' '\n' >"$dir/blank.asc"
  # (Not where sanitizers or an emulator reserve more address space than
  # the limit leaves: the native build checks it.)
  if [ -z "${CLI_NO_MEMORY_LIMIT:-}" ]; then
    if (ulimit -v 200000; "${cli[@]}" check "$dir/blank.asc" | tail -1 | grep -q '1000000 lines skipped'); then
      passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL a million findings in 200 MB"; fi
  fi
  status=$(trap '' PIPE; "${cli[@]}" check "$dir/blank.asc" | head -1 >/dev/null; echo "${PIPESTATUS[0]}")
  if [ "$status" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL closed pipe: status $status"; fi
fi
if [ -z "${WINE_PATHS:-}" ]; then
  out=$("${cli[@]}" near "$dir/orte.asc" 50 8 2>&1 >/dev/full; echo "status $?")
  grep -q 'cannot write to standard output' <<<"$out" && grep -q 'status 1$' <<<"$out" && passed=$((passed + 1)) ||
    { failed=$((failed + 1)); echo "FAIL a full standard output: $out"; }
  ln -s loop1 "$dir/loop2"; ln -s loop2 "$dir/loop1"
  check "a loop of links" 1 'loop1: cannot read: its links lead round in a circle' -- check "$dir/loop1"
  check "a name too long" 1 'cannot read: the name is too long' -- check "$dir/$(head -c 300 /dev/zero | tr '\0' n).asc"
  # A folder that may not be entered (root: without the capabilities that
  # pass over file modes, as on a user's machine).
  mkdir "$dir/closed" && cp "$dir/orte.asc" "$dir/closed/" && chmod 000 "$dir/closed"
  runner=()
  [ "$(id -u)" = 0 ] && runner=(setpriv --bounding-set=-dac_override,-dac_read_search)
  out=$("${runner[@]}" "${cli[@]}" check "$dir/closed/orte.asc" 2>&1)
  grep -q 'orte.asc: cannot read: a folder on its way may not be entered' <<<"$out" && passed=$((passed + 1)) ||
    { failed=$((failed + 1)); echo "FAIL a folder that may not be entered: $out"; }
  chmod 755 "$dir/closed"
fi
check "unknown command" 2 'unknown command' -- suche
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
