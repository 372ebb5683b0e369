#!/usr/bin/env bash
# The search's safety margins, bounds and tie rules, checked by breaking
# them: applies small deliberate faults one at a time to a copy of the
# source (a margin a little short, a bound a unit inward, a tie the other
# way), rebuilds only what each touches, runs the unit tests, and lists
# every fault that no test caught. Exit code 0 only when every one was
# caught. Slow (a rebuild a fault); not part of the test command.
#   tools/mutate.sh          all of them
#   tools/mutate.sh --list   the faults, without running anything
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd -P)
root=$(cd "$here/.." && pwd -P)

files=() froms=() tos=() whats=()
# fault FILE FROM TO WHAT: FROM must stand exactly once in FILE.
fault() { files+=("$1"); froms+=("$2"); tos+=("$3"); whats+=("$4"); }

B=search/skipbounds.cpp H=search/skipbounds.h V=search/lineverdict.h N=search/nearest.cpp G=geo/geo.cpp
fault $B 'constexpr double kReachRounding = 1e-6;' 'constexpr double kReachRounding = -1e-3;' \
  'the latitude reach 0.1 % short'
fault $B 'kEquatorialRadiusKm * (1 - 3 * kFlattening)' 'kEquatorialRadiusKm * (1 - 2 * kFlattening)' \
  'the floor of the distance a flattening high'
fault $B 'constexpr int32_t kMicroRounding = 1;' 'constexpr int32_t kMicroRounding = 0;' \
  'no microdegree for cutting to whole microdegrees'
fault $B 'b->southMicro = b->refLatLow - b->reachMicro;' 'b->southMicro = b->refLatLow - b->reachMicro + 100;' \
  'the band 100 microdegrees short in the south'
fault $B 'b->northWhole = (int32_t)CeilUnits(b->northMicro, 0);' 'b->northWhole = (int32_t)FloorUnits(b->northMicro, 0);' \
  'the band in whole degrees rounded inward in the north'
fault $B 's.south = (Int)std::max(FloorUnits(b->southMicro, dec)' 's.south = (Int)std::max(CeilUnits(b->southMicro, dec)' \
  'the band in units rounded inward in the south'
fault $H 'const int32_t lo = negative ? whole - 1 : whole;' 'const int32_t lo = negative ? whole + 0 : whole;' \
  'whole degrees of a negative latitude taken for its floor'
fault $H '>= (Unsigned)(s.north - s.south - 1))' '>= (Unsigned)(s.north - s.south - 2))' \
  'the band a unit inward in the north'
fault $B '> s.lonSpan && (U)((U)lon - (U)s.wrapLow) > s.wrapSpan)' '>= s.lonSpan && (U)((U)lon - (U)s.wrapLow) > s.wrapSpan)' \
  'the longitude range a unit inward in the east'
fault $B 'int64_t low = FloorUnits(b->refLonLow - b->lonReachMicro, dec);' 'int64_t low = FloorUnits(b->refLonLow - b->lonReachMicro, dec) + 100;' \
  'the longitude range 100 units short in the west'
fault $B 'int64_t high = CeilUnits(b->refLonHigh + b->lonReachMicro, dec);' 'int64_t high = CeilUnits(b->refLonHigh + b->lonReachMicro, dec) - 100;' \
  'the longitude range 100 units short in the east'
fault $B 'wrapLow = low + turn;' 'wrapLow = low + turn + 100;' \
  'the range past 180 degrees starting 100 units inward'
fault $B 'wrapLow = low + turn;' 'wrapLow = low + turn + 10000;' \
  'the range past 180 degrees starting 10,000 units inward'
fault $B 'wrapSpan = (uint64_t)(high - turn + limit);' 'wrapSpan = (uint64_t)(high - turn + limit - 100);' \
  'the range past -180 degrees ending 100 units early'
fault $B 'constexpr double kLonReachRounding = 1e-4;' 'constexpr double kLonReachRounding = -1e-3;' \
  'the longitude reach 0.1 % short'
fault $B 'constexpr int32_t kLonReachMicroExtra = 2;' 'constexpr int32_t kLonReachMicroExtra = -20;' \
  'the longitude reach 20 microdegrees short'
fault $B '- (float)std::fabs(b->sinRefLat) * r - kFloatRoundingAbsolute;' '+ (float)std::fabs(b->sinRefLat) * r - kFloatRoundingAbsolute;' \
  "the cosine of the band's edge too high"
fault $B 'const int32_t edgeMicro = std::max(' 'const int32_t edgeMicro = std::min(' \
  "the band's edge taken nearer the equator"
fault $B 'b->ellipseExtra = (uint32_t)(u * (2 + 4 * u)' 'b->ellipseExtra = (uint32_t)(0 * u * (2 + 4 * u)' \
  "the ellipse's curvature factor zero"
fault $B 's.nearSquare = r2 + (r2 >> 32)' 's.nearSquare = r2 - r2 / 64 + (r2 >> 32)' \
  'the ellipse 1.6 % short'
fault $B 'b->cosProduct = cosRefF * cosEdgeAtLeast * (1 - kCosProductRounding);' 'b->cosProduct = cosRefF * cosEdgeAtLeast * (1 + 1e-2f);' \
  "the ellipse's cosine 1 % high"
fault $B 'dLat -= dLat != 0;' 'dLat += dLat != 0;' \
  "the ellipse's latitude difference a unit long"
fault $V 'if (lon == 0 && lat == 0)
        *verdict = kSkip;' 'if (lon == 0)
        *verdict = kSkip;' \
  'a usual line at longitude 0 taken for 0,0'
fault $V "return c == 'i' || c == 'n' || *q == '.' ||" "return c == 'i' || c == 'n' ||" \
  'a number opening with its point taken for none'
fault $V 'if (stop == end)
        return kSkip;' 'if (stop + 2 >= end)
        return kSkip;' \
  'a latitude of one digit at the end taken for none'
fault $N 'if (KmBelow(p->low[candidate], p->low[i]))' 'if (!KmBelow(p->low[i], p->low[candidate]))' \
  'of slots at equal distances the last one given up'
fault $N 'if (!KmBelow(d, p->low[candidate]))' 'if (KmBelow(p->low[candidate], d))' \
  'a line at the same distance as the farthest slot taken'
fault $G '*low = (double)(omegaLow * factorLow) * kLowPerRadian - kKmSlack;' '*low = (double)(omegaLow * factorLow) * kLowPerRadian + 1e-3;' \
  "the near bracket's lower bound a metre high"
fault $G '*low = omegaLow * factorLow * kLowPerRadian - kKmSlack;' '*low = omegaLow * factorLow * kLowPerRadian * 1.001;' \
  "the far bracket's lower bound 0.1 % high"
fault search/poiline.cpp 'if (at->lon == 0 && at->lat == 0)' 'if (at->lon == 0 || at->lat == 0)' \
  'a 0 in either number taken for no position'

if [ "${1:-}" = --list ]; then
  for i in "${!whats[@]}"; do echo "$((i + 1)). ${files[$i]}: ${whats[$i]}"; done
  exit 0
fi

source "$here/packages.sh"
need_packages cmake make g++ libexpat1-dev googletest libgtest-dev perl
# A copy of the tracked files as they stand: the checkout is never touched,
# whatever becomes of this run.
work="$root/build/mutate"
rm -rf -- "$work/src"
mkdir -p "$work/src"
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$work/src")
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
build() { cmake --build "$work/build" --target unit_tests -j2 >/dev/null 2>&1; }
tests() { "$work/build/tests/unit_tests" --gtest_filter=-NearestEquivalenceGenerated.* >/dev/null 2>&1; }
build || { echo "the unchanged copy does not build"; exit 2; }
tests || { echo "the unchanged copy fails its tests"; exit 2; }

missed=()
for i in "${!whats[@]}"; do
  file="$work/src/${files[$i]}"
  cp -p "$file" "$file.orig"
  if ! FROM=${froms[$i]} TO=${tos[$i]} perl -0pi -e '$n = s/\Q$ENV{FROM}\E/$ENV{TO}/g; END { exit($n == 1 ? 0 : 1) }' "$file"; then
    echo "fault $((i + 1)) ($(basename "$file")): its line is not there once; the list needs mending"
    mv "$file.orig" "$file"
    exit 2
  fi
  if ! build; then
    verdict="caught (does not build)"
  elif tests; then
    verdict="NOT CAUGHT"
    missed+=("$((i + 1)). ${files[$i]}: ${whats[$i]}")
  else
    verdict="caught"
  fi
  printf '%2d. %-60s %s\n' "$((i + 1))" "${whats[$i]}" "$verdict"
  mv "$file.orig" "$file"
  touch "$file"
done
build
echo
if [ ${#missed[@]} -gt 0 ]; then
  echo "${#missed[@]} of ${#whats[@]} faults no test caught:"
  printf '  %s\n' "${missed[@]}"
  exit 1
fi
echo "all ${#whats[@]} faults caught"
