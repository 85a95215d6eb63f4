#!/usr/bin/env bash
# Times `kestrin convert` to every target against a raw copy (cp -r) of the
# same mail folder, for generated libraries of several sizes, and reports wall
# time, the ratio to the copy and the peak memory (max RSS) of each run.
#
#   bench/run.sh [MESSAGES...]     extra generated messages per library
#                                  (default: 5000 20000)
#
# Environment:
#   KESTRIN_BENCH_TARGETS  targets to time (default "eml mbox archive")
#   KESTRIN_BENCH_RUNS     timed runs of each step; the fastest counts (default 3)
#   KESTRIN_BENCH_DIR      work folder (default out/bench; emptied first)
#   KESTRIN_BENCH_BIN_DIR  a build folder holding cli/kestrin and
#                          tools/sample-library/kestrin-sample-library; when
#                          unset, build/ is configured (RelWithDebInfo) and built
#   KESTRIN_BENCH_KEEP=1   keep the libraries and outputs afterwards (each
#                          size needs room for 2 + 4 x runs copies of its mail)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

fail() { printf 'bench: %s\n' "$*" >&2; exit 1; }

sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then sizes=(5000 20000); fi
for size in "${sizes[@]}"; do
  [[ "$size" =~ ^[0-9]+$ ]] || fail "a library size is a number of messages, not \"$size\""
done
read -r -a targets <<<"${KESTRIN_BENCH_TARGETS:-eml mbox archive}"
work="${KESTRIN_BENCH_DIR:-$here/out/bench}"
runs="${KESTRIN_BENCH_RUNS:-3}"
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "KESTRIN_BENCH_RUNS is a number of runs, not \"$runs\""
bin="${KESTRIN_BENCH_BIN_DIR:-}"

if [ -z "$bin" ]; then
  scripts/install-deps.sh
  bin="$here/build"
  cmake -S . -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$bin" -j "$(nproc 2>/dev/null || echo 2)" --target kestrin kestrin-sample-library >/dev/null
fi
kestrin="$bin/cli/kestrin"
generator="$bin/tools/sample-library/kestrin-sample-library"
[ -x "$kestrin" ] || fail "$kestrin is missing"
[ -x "$generator" ] || fail "$generator is missing"
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing (Debian package \"time\")"

# Only a folder this script made (or an empty one) is emptied.
if [ -d "$work" ] && [ ! -f "$work/results.tsv" ] && [ -n "$(ls -A "$work")" ]; then
  fail "$work is not empty and holds no earlier results; choose another KESTRIN_BENCH_DIR"
fi
rm -rf "$work"
mkdir -p "$work"
results="$work/results.tsv"
: >"$results"

# Runs a command under /usr/bin/time -v; sets wall (seconds, measured here
# to the millisecond: time's own figure has only hundredths) and rss (MB).
measure() {
  local timing="$work/time.txt" status=0 start end
  start="$(date +%s.%N)"
  /usr/bin/time -v -o "$timing" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" || status=$?
  end="$(date +%s.%N)"
  if [ "$status" -ne 0 ]; then
    cat "$work/stdout.txt" "$work/stderr.txt" >&2
    fail "$* failed with status $status"
  fi
  case "$1" in
    "$kestrin") grep -q "Total number of items processed" "$work/stdout.txt" ||
                  fail "no result from $*" ;;
  esac
  wall="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
  rss="$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$timing")"
}

# Runs a step $runs times, each into its own output folder (the word @RUN@ in
# the arguments becomes the run number); keeps the fastest wall time and the
# highest peak memory. Nothing is deleted between timed runs: on a file
# system mounted with "discard", deleting many files slows down whatever
# writes next. Earlier writes are flushed before each run.
best_of() {
  local best_wall="" best_rss=0 run arg
  local -a command
  for ((run = 1; run <= runs; run++)); do
    command=()
    for arg in "$@"; do command+=("${arg//@RUN@/$run}"); done
    sync
    measure "${command[@]}"
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall="$wall"
    fi
    if awk -v a="$rss" -v b="$best_rss" 'BEGIN { exit !(a > b) }'; then best_rss="$rss"; fi
  done
  wall="$best_wall"
  rss="$best_rss"
}

for size in "${sizes[@]}"; do
  dir="$work/$size"
  printf '\n== library with %s generated messages\n' "$size"
  measure "$generator" "$dir/library" --messages "$size"
  mail="$dir/library/Library/Mail"
  files="$(find "$mail" -name '*.emlx' | wc -l)"
  bytes="$(du -sb "$mail" | cut -f1)"
  printf 'written in %ss: %s message files, %s MB\n' "$wall" "$files" "$((bytes / 1048576))"

  # The first copy brings the files into the page cache, so that every timed
  # run below reads them from memory alike.
  cp -r "$mail" "$dir/warm-up"

  best_of cp -r "$mail" "$dir/copy-@RUN@"
  printf '%s\t%s\t%s\t%s\n' "$size" "cp -r" "$wall" "$rss" >>"$results"
  printf 'cp -r: %ss\n' "$wall"

  for target in "${targets[@]}"; do
    best_of "$kestrin" convert "$mail" --to "$target" --out "$dir/$target-@RUN@" --no-progress
    printf '%s\t%s\t%s\t%s\n' "$size" "$target" "$wall" "$rss" >>"$results"
    printf '%s: %ss, max RSS %s MB\n' "$target" "$wall" "$rss"
  done
  [ "${KESTRIN_BENCH_KEEP:-}" = "1" ] || rm -rf "$dir"
done

printf '\n%-10s %-8s %9s %9s %12s\n' "messages" "run" "wall s" "x cp -r" "max RSS MB"
awk -F'\t' '
  $2 == "cp -r" { copy[$1] = $3 }
  {
    ratio = copy[$1] > 0 ? $3 / copy[$1] : 0
    verdict = ""
    if ($2 != "cp -r") verdict = ratio <= 2 ? "  within 2x" : "  over 2x"
    printf "%-10s %-8s %9.3f %9.2f %12.1f%s\n", $1, $2, $3, ratio, $4, verdict
  }' "$results"

if [ ${#sizes[@]} -ge 2 ]; then
  first="${sizes[0]}"
  last="${sizes[${#sizes[@]}-1]}"
  printf '\nPeak memory from %s to %s messages:\n' "$first" "$last"
  for target in "${targets[@]}"; do
    awk -F'\t' -v t="$target" -v a="$first" -v b="$last" '
      $2 == t && $1 == a { x = $4 }
      $2 == t && $1 == b { y = $4 }
      END { printf "  %-8s %8.1f MB -> %8.1f MB\n", t, x, y }' "$results"
  done
fi
printf '\nRaw numbers: %s\n' "$results"
