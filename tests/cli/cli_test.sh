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
check "distance not a number" 2 'not a number' -- distance 52.52 x 48 11
check position 0 '^50.350973 8.993216$' -- position 1000000 6500000
check "position west and south" 0 '^-33.893362 -4.487615$' -- position -499000 -4010000
check "position as unsigned bytes" 0 '^0.000000 -0.000009$' -- position 4294967295 0
check "position not metres" 2 'not a whole number' -- position 1.5 0
check "unknown command" 2 'unknown command' -- suche
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
