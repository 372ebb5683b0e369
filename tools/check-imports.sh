#!/usr/bin/env bash
# Fails when Wendrik.exe imports a USER32 or ADVAPI32 function that the
# allowlist does not name:  check-imports.sh Wendrik.exe ce-imports.txt
set -euo pipefail
exe=$1 allow=$2
imports=$(x86_64-w64-mingw32-objdump -p "$exe" |
  awk '/DLL Name:/ {dll = toupper($3); sub(/\.DLL$/, "", dll)}
       /^\t[ 0-9a-f]+\t/ && (dll == "USER32" || dll == "ADVAPI32") {print dll, $NF}' | sort -u)
if [ -z "$imports" ]; then
  echo "check-imports: no USER32 import found in $exe; is it the program?" >&2
  exit 1
fi
allowed=$(grep -v -E '^\s*(#|$)' "$allow" | sort -u)
unknown=$(comm -23 <(echo "$imports") <(echo "$allowed"))
count=$(echo "$imports" | wc -l)
if [ -n "$unknown" ]; then
  echo "check-imports: imports that are not on the device's list ($allow):"
  echo "$unknown" | sed 's/^/  /'
  exit 1
fi
echo "check-imports: all $count USER32/ADVAPI32 imports are on the list"
