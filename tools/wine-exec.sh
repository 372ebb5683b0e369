#!/usr/bin/env bash
# Runs a Windows test program under Wine (CTest's cross-compiling emulator).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
source "$here/wine-lib.sh"
build=${WENDRIK_BUILD:-"$here/../build"}
prefix=${WENDRIK_WINEPREFIX:-"$build/wine/unit"}
prefix_ready "$prefix" 320x240
WINEPREFIX="$prefix" exec "$WINE64" "$@"
