#!/usr/bin/env bash
# "wendrik-cli convert" against real and hand-made files:
#   convert_test.sh [RUNNER...] CLI     (RUNNER runs a Windows build)
# The expected files are the same for every build: both write the same bytes.
set -u
cli=("$@")
here=$(cd "$(dirname "$0")" && pwd -P)
gpx="$here/gpx"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
winpath() { if [ -n "${WINE_PATHS:-}" ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi; }
# convert ARGS...: runs it, leaves the status in $status and the output,
# without CR and with the folder's name cut, in $out.
convert() {
  local args=() a
  for a in "$@"; do case $a in /*) args+=("$(winpath "$a")") ;; *) args+=("$a") ;; esac; done
  "${cli[@]}" convert "${args[@]}" >"$dir/out" 2>&1
  status=$?
  out=$(tr -d '\r' <"$dir/out")
  local d g
  d=$(winpath "$dir/") g=$(winpath "$gpx/")
  out=${out//"$d"/}
  out=${out//"$g"/}
}
expect() {  # name status pattern
  if [ "$status" -eq "$2" ] && grep -q -E -- "$3" <<<"$out"; then ok; else
    fail "$1: status $status (want $2), output:"; echo "$out" | sed 's/^/    /'; fi
}
same_file() {  # name got expected
  if cmp -s "$2" "$3"; then ok; else fail "$1: $2 differs from $3:"; diff <(cat -A "$2") <(cat -A "$3") | head -20; fi
}

# Real files of other programs: the positions GPSBabel 1.8.0 writes for
# them, in its order, and its names wherever the file gives one.
for case in "garmin-desktop:" "geocaching-waypoints:" "bikerouter-track:--track"; do
  name=${case%%:*} option=${case#*:}
  convert $option "$gpx/$name.gpx" "$dir/$name.asc"
  expect "$name" 0 "$name.asc: [0-9]+ (waypoint|track point)"
  paste -d '|' <(tr -d '\r' <"$dir/$name.asc") "$gpx/$name.gpsbabel" | while IFS='|' read -r ours theirs; do
    [ "${ours%,*}" == "${theirs%,*}" ] || { echo "position $ours, GPSBabel $theirs"; continue; }
    [ "${ours##*,}" == '""' ] || [ "$ours" == "$theirs" ] || echo "name $ours, GPSBabel $theirs"
  done >"$dir/diff"
  if [ ! -s "$dir/diff" ] && [ "$(wc -l <"$dir/$name.asc")" -eq "$(wc -l <"$gpx/$name.gpsbabel")" ]; then ok; else
    fail "$name against GPSBabel:"; cat "$dir/diff"; fi
done

# What becomes of names, points and their kinds; the bytes are the same
# in every build.
convert "$gpx/features.gpx" "$dir/features.asc"
expect "waypoints, some left out" 1 '^features.asc: 4 waypoints from features.gpx, 4 left out, Windows-1252$'
expected_report='features.gpx:13: point left out: latitude 91 beyond ±90
features.gpx:14: point left out: longitude "east" is not a number
features.gpx:15: point left out: no latitude (attribute lat)
features.gpx:16: point left out: position 0,0, which the device takes for no position'
[ "$(head -4 <<<"$out")" == "$expected_report" ] && ok || fail "report of the points left out: $out"
same_file "waypoints" "$dir/features.asc" "$gpx/features.asc"
convert "$gpx/features.gpx" "$dir/features.asc"
same_file "a second run over an existing OUT: the same bytes" "$dir/features.asc" "$gpx/features.asc"
convert --route "$gpx/features.gpx" "$dir/route.asc"
expect "route points of every route" 0 'route.asc: 3 route points'
printf '6.958000,50.940000,"K\xf6ln"\r\n6.773500,51.227700,"D\xfcsseldorf"\r\n7.465300,51.513600,"Dortmund"\r\n' >"$dir/route.want"
same_file "route points" "$dir/route.asc" "$dir/route.want"
convert --track "$gpx/features.gpx" "$dir/track.asc"
expect "track points" 0 'track.asc: 2 track points'
# The namespace with a prefix, over https (as OsmAnd writes it), or none.
sed -e 's#<gpx version="1.1" creator="hand-made" xmlns="http://www.topografix.com/GPX/1/1"#<g:gpx xmlns:g="https://www.topografix.com/GPX/1/1/"#' \
    -e 's#<\(/\?\)\(wpt\|name\|desc\|cmt\|rte\|rtept\|trk\|trkseg\|trkpt\|metadata\|extensions\)\([ >/]\)#<\1g:\2\3#g' \
    -e 's#</gpx>#</g:gpx>#' "$gpx/features.gpx" >"$dir/prefixed.gpx"
sed -e 's# xmlns="http://www.topografix.com/GPX/1/1"##' -e 's#version="1.1"#version="1.0"#' "$gpx/features.gpx" >"$dir/plain.gpx"
for variant in prefixed plain; do
  convert "$dir/$variant.gpx" "$dir/$variant.asc"
  same_file "namespace $variant" "$dir/$variant.asc" "$gpx/features.asc"
done

# Namespaces that name GPX 1.0 or 1.1 in other spellings.
for ns in "http://topografix.com/GPX/1/1" "http://www.topografix.com/GPX/1/1/gpx.xsd" "http://www.topografix.com/GPX/1/0 "; do
  sed -e "s#xmlns=\"http://www.topografix.com/GPX/1/1\"#xmlns=\"$ns\"#" "$gpx/features.gpx" >"$dir/ns.gpx"
  convert "$dir/ns.gpx" "$dir/ns.asc"
  same_file "namespace \"$ns\"" "$dir/ns.asc" "$gpx/features.asc"
done
# A coordinate of many digits, a name of inner quotes back from a POI file.
printf '<gpx><wpt lat="50.1000000000000000000000000000000000000000000000000000000000000000001" lon="8.5"/></gpx>' >"$dir/digits.gpx"
convert "$dir/digits.gpx" "$dir/digits.asc"
expect "a coordinate of 70 characters" 0 'digits.asc: 1 waypoint'
printf '8.5,50.1,"Gasthaus "Zur Post""\r\n' >"$dir/quotes.asc"
convert "$dir/quotes.asc" "$dir/quotes.gpx"
grep -q '<name>Gasthaus &quot;Zur Post&quot;</name>' "$dir/quotes.gpx" && ok || fail "inner quotes of a name: $(cat "$dir/quotes.gpx")"

# Encodings the file declares, and the one the POI file gets.
printf '<?xml version="1.0" encoding="windows-1252"?>\n<gpx><wpt lat="1" lon="2"><name>Stra\xdfe \x80 \x93x\x94</name></wpt></gpx>\n' >"$dir/cp1252.gpx"
printf '<?xml version="1.0" encoding="ISO-8859-1"?>\n<gpx><wpt lat="1" lon="2"><name>Stra\xdfe</name></wpt></gpx>\n' >"$dir/latin1.gpx"
printf '<?xml version="1.0" encoding="UTF-16"?>\n<gpx><wpt lat="1" lon="2"><name>Stra\xc3\x9fe</name></wpt></gpx>\n' |
  iconv -f UTF-8 -t UTF-16 >"$dir/utf16.gpx"
for case in "cp1252:Stra\xdfe \x80 \x93x\x94" "latin1:Stra\xdfe" "utf16:Stra\xdfe"; do
  name=${case%%:*}
  convert "$dir/$name.gpx" "$dir/$name.asc"
  printf "2.000000,1.000000,\"${case#*:}\"\r\n" >"$dir/$name.want"
  same_file "declared encoding $name" "$dir/$name.asc" "$dir/$name.want"
done
# Common other names of these, and the single-byte sets of Europe: the
# name in the POI file, Windows-1252 where it fits, else UTF-8 with a mark.
bom='\xef\xbb\xbf'
for case in "utf8|Stra\xc3\x9fe|Stra\xdfe" "UTF8|Stra\xc3\x9fe|Stra\xdfe" "latin1|Stra\xdfe|Stra\xdfe" \
            "ISO8859-1|Stra\xdfe|Stra\xdfe" "ASCII|Strasse|Strasse" "ISO-8859-15|\xa4 5|\x80 5" \
            "windows-1250|\x8a\xe8|$bom\xc5\xa0\xc4\x8d" "ISO-8859-2|\xa3\xf3d\xbc|$bom\xc5\x81\xc3\xb3d\xc5\xba"; do
  IFS='|' read -r enc bytes want <<<"$case"
  printf "<?xml version=\"1.0\" encoding=\"$enc\"?>\n<gpx><wpt lat=\"1\" lon=\"2\"><name>$bytes</name></wpt></gpx>\n" >"$dir/enc.gpx"
  convert "$dir/enc.gpx" "$dir/enc.asc"
  mark=${want%%"$bom"*}
  [ "$mark" == "$want" ] && mark= || mark=$bom
  printf "${mark}2.000000,1.000000,\"${want#"$bom"}\"\r\n" >"$dir/enc.want"
  same_file "declared encoding $enc" "$dir/enc.asc" "$dir/enc.want"
done
printf '<?xml version="1.0" encoding="KOI8-R"?>\n<gpx/>\n' >"$dir/koi.gpx"
convert "$dir/koi.gpx" "$dir/koi.asc"
expect "an encoding not read" 1 'koi.gpx:1: XML error: the file.s encoding "KOI8-R" is not one convert reads \(UTF-8, UTF-16'
printf '<gpx><wpt lat="51.76" lon="19.46"><name>\xc5\x81\xc3\xb3d\xc5\xba</name></wpt></gpx>' >"$dir/lodz.gpx"
convert "$dir/lodz.gpx" "$dir/lodz.asc"
expect "beyond Windows-1252" 0 'UTF-8 with a byte order mark'
printf '\xef\xbb\xbf19.460000,51.760000,"\xc5\x81\xc3\xb3d\xc5\xba"\r\n' >"$dir/lodz.want"
same_file "UTF-8 with a byte order mark" "$dir/lodz.asc" "$dir/lodz.want"
printf '<gpx><wpt lat="1" lon="2"><name>%s</name></wpt></gpx>' "$(head -c 1500 /dev/zero | tr '\0' x)" >"$dir/long.gpx"
convert "$dir/long.gpx" "$dir/long.asc"
[ "$(head -1 "$dir/long.asc" | tr -d '\r\n' | wc -c)" -eq 1022 ] && ok || fail "a long name is cut to one entry of the list"

# Bad input: a clear error, exit 1, and OUT as it was.
printf 'old contents\r\n' >"$dir/keep.asc"
cp "$dir/keep.asc" "$dir/keep.want"
printf '<gpx><wpt lat="1" lon="2"></gpx>\n' >"$dir/malformed.gpx"
head -c 900 "$gpx/features.gpx" >"$dir/truncated.gpx"
: >"$dir/empty.gpx"
printf '<gpx><wpt lat="1" lon="2">' >"$dir/open.gpx"
{ printf '<gpx>'; head -c 5000 /dev/zero | sed 's/\x0/<e>/g'; } >"$dir/deep.gpx"
for case in "malformed:malformed.gpx:1: XML error: mismatched tag" \
            "truncated:truncated.gpx:[0-9]+: XML error: the file ends inside an element \\(cut off\\?\\)" \
            "open:open.gpx:1: XML error: the file ends inside an element" \
            "empty:empty.gpx:1: XML error: no element found" "deep:deep.gpx:1: XML error: elements nested deeper than 1000"; do
  name=${case%%:*}
  convert "$dir/$name.gpx" "$dir/keep.asc"
  expect "$name" 1 "^${case#*:}"
  same_file "$name leaves OUT as it was" "$dir/keep.asc" "$dir/keep.want"
done
[ -z "$(ls "$dir" | grep -v -E '\.(asc|gpx|want)$|^out$|^diff$')" ] && ok || fail "temporary files left: $(ls "$dir")"
{ printf '<?xml version="1.0"?>\n<!DOCTYPE gpx [\n <!ENTITY a "%s">\n' "$(head -c 100 /dev/zero | tr '\0' a)"
  prev=a
  for e in b c d e f g h i; do printf ' <!ENTITY %s "%s">\n' $e "$(for _ in 1 2 3 4 5 6 7 8 9 10; do printf '&%s;' $prev; done)"; prev=$e; done
  printf ']>\n<gpx><wpt lat="1" lon="2"><name>&i;</name></wpt></gpx>\n'; } >"$dir/bomb.gpx"
start=$(date +%s)
convert "$dir/bomb.gpx" "$dir/bomb.asc"
expect "entity expansion bomb" 1 'bomb.gpx:[0-9]+: XML error: limit on input amplification factor'
[ $(( $(date +%s) - start )) -lt 10 ] && [ ! -e "$dir/bomb.asc" ] && ok || fail "the bomb took long or left a file"
printf '<?xml version="1.0"?>\n<!DOCTYPE gpx SYSTEM "file:///etc/passwd" [<!ENTITY x SYSTEM "file:///etc/passwd">]>\n<gpx><wpt lat="1" lon="2"><name>a&x;b</name></wpt></gpx>\n' >"$dir/external.gpx"
convert "$dir/external.gpx" "$dir/external.asc"
printf '2.000000,1.000000,"ab"\r\n' >"$dir/external.want"
same_file "no external entity or DTD is loaded" "$dir/external.asc" "$dir/external.want"
convert "$gpx/bikerouter-track.gpx" "$dir/keep.asc"
expect "no waypoints: said, with what the file holds" 1 'bikerouter-track.gpx: no waypoints in it; it holds 169 track points: --track takes them; left as it was'
same_file "no waypoints leaves OUT as it was" "$dir/keep.asc" "$dir/keep.want"
printf '<?xml version="1.0"?>\n<kml xmlns="http://www.opengis.net/kml/2.2"><Placemark><Point><coordinates>8,50</coordinates></Point></Placemark></kml>\n' >"$dir/saved.gpx"
convert "$dir/saved.gpx" "$dir/keep.asc"
expect "a KML saved as .gpx" 1 'saved.gpx: no GPX points: it is not a GPX file'
same_file "a KML saved as .gpx leaves OUT as it was" "$dir/keep.asc" "$dir/keep.want"
convert "$dir/missing.gpx" "$dir/x.asc"
expect "a missing file" 1 'missing.gpx: cannot read it'

# OUT is a user's file: written beside it under a name of this run's own,
# never through a link, put in place whole, with its permissions; a link
# keeps pointing at it; a read-only OUT or a folder is refused.
printf 'mine\n' >"$dir/victim"
ln -s victim "$dir/links.asc.part"
convert "$gpx/features.gpx" "$dir/links.asc"
[ "$(cat "$dir/victim")" == mine ] && [ -L "$dir/links.asc.part" ] && ok || fail "a link at the old temporary name is followed"
if [ -z "${WINE_PATHS:-}" ]; then
  # The name this run would take, a link put there first: passed over.
  sh -c 'ln -s victim "$1/.lp.asc.$$-0.part" && shift && exec "$@"' sh "$dir" "${cli[@]}" convert "$gpx/features.gpx" \
    "$dir/lp.asc" >/dev/null 2>&1 </dev/null
  [ -n "$(ls -A "$dir" | grep '^\.lp\.asc\..*-0\.part$')" ] && ok || fail "no link stood at the run's own temporary name"
  [ "$(cat "$dir/victim")" == mine ] && same_file "beside a link at its own temporary name" "$dir/lp.asc" "$gpx/features.asc" ||
    fail "a link at this run's temporary name is followed"
  rm -f "$dir"/.lp.asc.*.part
  cp "$gpx/features.asc" "$dir/mode.asc"
  chmod 600 "$dir/mode.asc"
  convert "$gpx/features.gpx" "$dir/mode.asc"
  [ "$(stat -c %a "$dir/mode.asc")" == 600 ] && ok || fail "OUT's mode 600 became $(stat -c %a "$dir/mode.asc")"
  ln -s mode.asc "$dir/alias.asc"
  convert --route "$gpx/features.gpx" "$dir/alias.asc"
  [ -L "$dir/alias.asc" ] && same_file "a link's target replaced" "$dir/mode.asc" "$dir/route.want" || fail "the link was replaced"
  # Two runs to one OUT at once: it ends as the whole output of one of them.
  for n in 60000 40000; do
    awk -v n=$n 'BEGIN { print "<gpx>"; for (i = 0; i < n; i++) printf "<wpt lat=\"%.5f\" lon=\"%.5f\"><name>P%d-%d</name></wpt>\n", 50 + i / n, 8 + i / n, n, i; print "</gpx>" }' >"$dir/many$n.gpx"
    "${cli[@]}" convert "$dir/many$n.gpx" "$dir/alone$n.asc" >/dev/null
  done
  "${cli[@]}" convert "$dir/many60000.gpx" "$dir/same.asc" >/dev/null & first=$!
  "${cli[@]}" convert "$dir/many40000.gpx" "$dir/same.asc" >/dev/null
  wait $first
  cmp -s "$dir/same.asc" "$dir/alone60000.asc" || cmp -s "$dir/same.asc" "$dir/alone40000.asc" && ok ||
    fail "two runs at once mixed their output"
  # Ended by a signal or a closed pipe: no temporary left, OUT as it was.
  for sig in INT TERM; do
    cp "$dir/keep.want" "$dir/sig.asc"
    "${cli[@]}" convert "$dir/many60000.gpx" "$dir/sig.asc" >/dev/null & pid=$!
    sleep 0.05; kill -$sig $pid 2>/dev/null; wait $pid
    [ -z "$(ls -A "$dir" | grep '^\..*\.part$')" ] && ok || fail "SIG$sig left $(ls -A "$dir" | grep '^\..*\.part$')"
  done
  awk 'BEGIN { print "<gpx>"; for (i = 0; i < 50000; i++) print "<wpt lat=\"95\" lon=\"8\"/><wpt lat=\"50\" lon=\"8\"/>"; print "</gpx>" }' >"$dir/noisy.gpx"
  "${cli[@]}" convert "$dir/noisy.gpx" "$dir/pipe.asc" | head -1 >/dev/null
  [ -z "$(ls -A "$dir" | grep '^\..*\.part$')" ] && [ ! -e "$dir/pipe.asc" ] && ok || fail "a closed pipe left a temporary file"
  # Room for one copy of the output is enough: some 40 KB, Windows-1252 in
  # the end, on a file system of 64 KiB (a mount of its own, where root
  # may make one).
  if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    awk 'BEGIN { print "<gpx>"; for (i = 0; i < 1000; i++) printf "<wpt lat=\"50.%06d\" lon=\"8.%06d\"><name>M\303\274ller Stra\303\237e %d</name></wpt>\n", i, i, i; print "</gpx>" }' >"$dir/room.gpx"
    mkdir "$dir/small"
    out=$(unshare -m sh -c 'mount -t tmpfs -o size=64k small "$1" && shift && "$@" && ls -l "$0"' "$dir/small/room.asc" "$dir/small" \
      "${cli[@]}" convert "$dir/room.gpx" "$dir/small/room.asc" 2>&1)
    grep -q 'room.asc: 1000 waypoints from .*Windows-1252' <<<"$out" && ok || fail "one copy's room: $out"
  fi
  # A Latin-1 file name: the route keeps its letters.
  latin1=$(printf '%s/K\xf6ln.asc' "$dir")
  printf '6.96,50.94,"Dom"\r\n' >"$latin1"
  "${cli[@]}" convert --route "$latin1" "$dir/koeln.gpx" >/dev/null
  grep -q '<name>Köln</name>' "$dir/koeln.gpx" && ok || fail "a Latin-1 file name: $(grep -a '<name>' "$dir/koeln.gpx")"
  # A name near the limit of 255 bytes.
  long=$(head -c 251 /dev/zero | tr '\0' n).asc
  convert "$gpx/features.gpx" "$dir/$long"
  same_file "a name of 255 bytes" "$dir/$long" "$gpx/features.asc"
fi
# A read-only OUT (on Windows the file's read-only attribute).
cp "$dir/keep.want" "$dir/readonly.asc"
chmod 444 "$dir/readonly.asc"
convert "$gpx/features.gpx" "$dir/readonly.asc"
expect "a read-only OUT" 1 'readonly.asc: cannot write it: it is read-only; left as it was'
same_file "a read-only OUT as it was" "$dir/readonly.asc" "$dir/keep.want"
chmod 644 "$dir/readonly.asc"
mkdir "$dir/folder.asc"
convert "$gpx/features.gpx" "$dir/folder.asc"
expect "OUT a folder" 1 'folder.asc: cannot write it: it is a folder'
convert "$gpx/features.gpx" "$dir/nowhere/x.asc"
expect "OUT in no folder" 1 'x.asc: cannot write it: no such folder'
[ -z "$(ls -A "$dir" | grep '^\..*\.part$')" ] && ok || fail "temporary files left: $(ls -A "$dir")"

# POI files to GPX and back: the same positions and names; what convert
# writes passes check.
samples="$here/../../samples/device/Storage Card/Routen/POIs"
cp "$samples/Sehenswürdigkeiten.asc" "$dir/sights.asc"
cp "$samples/Tankstellen.asc" "$dir/fuel.asc"
for name in sights fuel; do
  convert "$dir/$name.asc" "$dir/$name.gpx"
  expect "$name to GPX" 0 "$name.gpx: [0-9]+ waypoints from"
  convert "$dir/$name.gpx" "$dir/$name-back.asc"
  "${cli[@]}" check "$(winpath "$dir/$name-back.asc")" >/dev/null && ok || fail "$name: what convert writes passes check"
  "${cli[@]}" near "$(winpath "$dir/$name.asc")" 50 10 >"$dir/near1"
  "${cli[@]}" near "$(winpath "$dir/$name-back.asc")" 50 10 >"$dir/near2"
  cut -d, -f1,2 <"$dir/$name.asc" | tr -d '\r' | awk -F, '{printf "%.6f,%.6f\n", $1, $2}' >"$dir/pos1"
  cut -d, -f1,2 <"$dir/$name-back.asc" | tr -d '\r' >"$dir/pos2"
  if cmp -s "$dir/pos1" "$dir/pos2" && cmp -s "$dir/near1" "$dir/near2"; then ok; else fail "$name: round trip"; fi
done
printf '8.5,50.1,"Start"\r\n\r\n9,50.2,"Mitte & \xdcbergang <1>"\r\n0,0,"leer"\r\n180,10,"Datumsgrenze"\r\n8,95,"jenseits"\r\n' >"$dir/tour.asc"
convert --route "$dir/tour.asc" "$dir/tour.gpx"
expect "a tour to a route, lines skipped" 1 '^tour.asc:2: skipped by the search: empty line'
expect "a tour to a route, out of range" 1 'tour.asc:6: left out: position outside'
same_file "the route's GPX" "$dir/tour.gpx" "$gpx/tour.gpx"

# What the device reads otherwise than it was written is said, as check
# says it, with exit 1; every list entry with a position is a waypoint.
printf '8.5,50.1,"a"\r9.5,50.2,"B"\r10.5,50.3,"C"\n' >"$dir/mac.asc"
convert "$dir/mac.asc" "$dir/mac.gpx"
expect "line ends of CR alone" 1 'mac.asc:1: 2 line ends of CR alone .* never sees 2 positions'
printf '6.9,50.9,"K\xc3\xb6ln"\n7,51,"x\xfc"\n' >"$dir/garbled.asc"
convert "$dir/garbled.asc" "$dir/garbled.gpx"
expect "UTF-8 shown garbled" 1 'garbled.asc:2: byte 0xFC is not UTF-8'
printf '8.5,50.1,"a\000b"\n' >"$dir/zeros.asc"
convert "$dir/zeros.asc" "$dir/zeros.gpx"
expect "NULs dropped" 1 'zeros.asc:1: 1 NUL character dropped'
{ printf '8.5,50.1,"'; head -c 1013 /dev/zero | tr '\0' x; printf '9,51,"y"\n'; } >"$dir/pieces.asc"
convert "$dir/pieces.asc" "$dir/pieces.gpx"
expect "a position in a later piece of a long line" 0 'pieces.gpx: 2 waypoints'

# Wrong arguments.
for case in "x.txt y.asc:not a .gpx or .asc" "--route --track a.gpx b.asc:not both" "a.gpx:takes IN and OUT" \
            "a.gpx b.gpx:not to its own format" "--track a.asc b.gpx:--track" "--fast a.gpx b.asc:unknown option"; do
  read -r -a args <<<"${case%%:*}"
  convert "${args[@]}"
  expect "arguments ${case%%:*}" 2 "${case#*:}"
done

echo "convert: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
