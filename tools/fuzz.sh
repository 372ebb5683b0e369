#!/usr/bin/env bash
# Runs the libFuzzer targets (ASan and UBSan, clang) from the sample files
# and the saved inputs, then every saved regression input once.
#   tools/fuzz.sh [--fresh] [--seconds N | --runs N [--seed S]] [TARGET...]
#   N seconds a target (default 6; long runs: 3600), with fresh seeds each
#   time: exploring. --runs N --seed S instead makes N runs a target from
#   seed S (default 1): the same inputs every time, as the test command
#   needs (with --fresh, which it uses). TARGET one of
#   text config nearest calendar geo convert, and text-words nearest-words
#   (the same on the word-at-a-time code of processors without SSE2, as
#   the device's) (default all). The corpus in
#   build/fuzz/corpus grows from run to run; --fresh starts it anew from
#   the seeds, so that a run does not depend on earlier ones.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
root=$(cd "$here/.." && pwd -P)
source "$here/packages.sh"
source "$here/script-lib.sh"
seconds=6 fresh= runs= seed=1
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --seed) seed=${2:?}; shift 2 ;;
    --fresh) fresh=1; shift ;;
    *) break ;;
  esac
done
targets=${*:-text config nearest calendar geo convert text-words nearest-words}
need_packages "${BUILD_PACKAGES[@]}" clang libfuzzer-14-dev libclang-rt-14-dev
cd "$root"
configure_preset fuzz
cmake --build --preset fuzz >/dev/null
status=0
for t in $targets; do
  corpus="$root/build/fuzz/corpus/$t"
  [ -z "$fresh" ] || rm -rf -- "$corpus"
  mkdir -p "$corpus"
  base=${t%-words}
  seeds="$root/tests/fuzz/seeds/$base"
  regressions="$root/tests/fuzz/regressions/$base"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  case $base in text|config|nearest) cp -n "$root"/samples/device/*/Routen/POIs/*.asc "$root"/samples/device/*/Wendrik/*.cfg "$corpus"/ 2>/dev/null || true ;; esac
  log="$root/build/fuzz/$t.log"
  if [ -n "$runs" ]; then
    limit=(-runs="$runs" -seed="$seed") said="$runs runs from seed $seed"
  else
    limit=(-max_total_time="$seconds") said="${seconds} s"
  fi
  if "$root/build/fuzz/fuzz_$t" "${limit[@]}" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$root/build/fuzz/crash-$t-" "$corpus" >"$log" 2>&1; then
    if [ -n "$runs" ]; then
      echo "fuzz_$t: no finding in $said"
    else
      done_runs=$(grep -o -E 'Done [0-9]+ runs' "$log" | tail -1)
      echo "fuzz_$t: ${done_runs:-done}, no finding in $said"
    fi
  else
    echo "fuzz_$t: FINDING (see $log; the input is build/fuzz/crash-$t-*, save it under tests/fuzz/regressions/$t/)"
    tail -20 "$log"
    status=1
  fi
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions" 2>/dev/null)" ]; then
    if "$root/build/fuzz/fuzz_$t" "$regressions"/* >"$log.regressions" 2>&1; then
      echo "fuzz_$t: $(ls "$regressions" | wc -l) saved inputs pass"
    else
      echo "fuzz_$t: a saved input fails again (see $log.regressions)"
      status=1
    fi
  fi
done
exit $status
