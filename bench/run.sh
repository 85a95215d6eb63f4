#!/usr/bin/env bash
# Times `kestrin convert` to every target against the floor of the same work:
# `cat` of every message file of the mail folder into one file on the same
# disk. In one run, for generated libraries of several sizes, it reports wall
# time, the ratio to the floor and the peak memory (max RSS) of each step,
# then the same for libraries of header-only (not downloaded) messages and
# for one library spread over a few or over many sibling mailboxes, and
# writes the table into bench/README.md with the date, machine and commit.
#
#   bench/run.sh [MESSAGES...]     generated messages per library
#                                  (default: 5000 20000 100000)
#
# Environment:
#   KESTRIN_BENCH_TARGETS  targets to time (default "eml mbox archive")
#   KESTRIN_BENCH_RUNS     timed runs of each step; the fastest counts (default 3)
#   KESTRIN_BENCH_DIR      work folder (default out/bench); each run works in a
#                          new folder "run-<time>" inside it
#   KESTRIN_BENCH_BIN_DIR  a build folder holding cli/kestrin and
#                          tools/sample-library/kestrin-sample-library; when
#                          unset, build/ is configured (RelWithDebInfo) and built
#   KESTRIN_BENCH_KEEP=1   keep the libraries and outputs afterwards
#   KESTRIN_BENCH_FOLDERS  sibling mailbox counts compared (default "24 2000";
#                          "" leaves the comparison out)
#   KESTRIN_BENCH_FOLDER_MESSAGES  messages of that comparison (default 20000)
#   KESTRIN_BENCH_HEADER_ONLY=0    leaves out the header-only libraries
#   KESTRIN_BENCH_README=0 leaves bench/README.md as it is
#
# Nothing is deleted until every step is timed: right after many files are
# deleted, creating files on ext4 is 10-20x slower for minutes (it searches
# the freed inodes), which would falsify every step that writes files. The
# work folder must hold every library and output of the run at once (about
# 2 + 4 x runs copies of each library's mail folder).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

fail() { printf 'bench: %s\n' "$*" >&2; exit 1; }
is_count() { [[ "$1" =~ ^[0-9]+$ ]]; }

sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then sizes=(5000 20000 100000); fi
for size in "${sizes[@]}"; do
  is_count "$size" || fail "a library size is a number of messages, not \"$size\""
done
read -r -a targets <<<"${KESTRIN_BENCH_TARGETS:-eml mbox archive}"
read -r -a folder_counts <<<"${KESTRIN_BENCH_FOLDERS-24 2000}"
for count in "${folder_counts[@]}"; do
  is_count "$count" && [ "$count" -gt 0 ] || fail "KESTRIN_BENCH_FOLDERS holds mailbox counts, not \"$count\""
done
folder_messages="${KESTRIN_BENCH_FOLDER_MESSAGES:-20000}"
is_count "$folder_messages" || fail "KESTRIN_BENCH_FOLDER_MESSAGES is a number, not \"$folder_messages\""
header_only="${KESTRIN_BENCH_HEADER_ONLY:-1}"
runs="${KESTRIN_BENCH_RUNS:-3}"
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "KESTRIN_BENCH_RUNS is a number of runs, not \"$runs\""
bin="${KESTRIN_BENCH_BIN_DIR:-}"

# Checked before anything is built: the benchmark machine needs it, CI
# does not have it.
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing: install the Debian package \"time\" (apt-get install time); it is not part of scripts/install-deps.sh because CI never runs the benchmark"

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

base="${KESTRIN_BENCH_DIR:-$here/out/bench}"
mkdir -p "$base"
# Outputs of earlier runs (kept, or left by an interrupted run) stay where
# they are: deleting them just before timing would slow file creation down.
earlier="$(find "$base" -mindepth 2 -maxdepth 2 -path "$base/run-*/*" -type d | wc -l)"
if [ "$earlier" -gt 0 ]; then
  printf 'bench: %s still holds libraries or outputs of earlier runs; they are left\n' "$base"
  printf '       alone (deleting them now would slow this run down); delete them between sessions.\n'
fi
work="$base/run-$(date -u +%Y%m%d-%H%M%S)"
mkdir "$work"
results="$work/results.tsv"
: >"$results"

fs_type="$(df -PT "$work" 2>/dev/null | awk 'NR == 2 { print $2 }')"
fs_type="${fs_type:-unknown}"
case "$fs_type" in
  tmpfs|ramfs) storage="in memory ($fs_type)" ;;
  *) storage="on disk ($fs_type), every output kept until all steps were timed" ;;
esac

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
    "$kestrin") grep -q "Messages converted" "$work/stdout.txt" ||
                  fail "no result from $*" ;;
  esac
  wall="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
  rss="$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$timing")"
}

# Runs a step $runs times, each into its own output (the word @RUN@ in the
# arguments becomes the run number); keeps the fastest wall time and the
# highest peak memory. Earlier writes are flushed before each run.
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

# library kind, messages, step, wall, rss
record() {
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$wall" "$rss" >>"$results"
  printf '  %-8s %8ss  max RSS %7s MB\n' "$3" "$wall" "$rss"
}

# Writes a library into $dir/library with the generator's extra arguments.
generate() {
  local dir="$1"
  shift
  measure "$generator" "$dir/library" "$@"
  mail="$dir/library/Library/Mail"
  local files bytes
  files="$(find "$mail" -name '*.emlx' | wc -l)"
  bytes="$(du -sb "$mail" | cut -f1)"
  printf 'written in %ss: %s message files, %s MB\n' "$wall" "$files" "$((bytes / 1048576))"
  # Reading every file once brings the library into the page cache, so that
  # every timed step reads it from memory alike.
  find "$mail" -type f -print0 | xargs -0 cat >/dev/null
}

# Times every target on the library at $mail; kind and size name the rows.
convert_all() {
  local kind="$1" size="$2" dir="$3" target
  for target in "${targets[@]}"; do
    best_of "$kestrin" convert "$mail" --to "$target" --out "$dir/$target-@RUN@" --no-progress
    record "$kind" "$size" "$target"
  done
}

for size in "${sizes[@]}"; do
  dir="$work/full-$size"
  printf '\n== library with %s generated messages\n' "$size"
  generate "$dir" --messages "$size"
  # The floor: every message file read and written once, into one file.
  find "$mail" \( -name '*.emlx' -o -name '*.emlxpart' \) -print0 | sort -z >"$dir/message-files"
  best_of sh -c 'xargs -0 cat <"$1" >"$2"' floor "$dir/message-files" "$dir/floor-@RUN@"
  record full "$size" cat
  convert_all full "$size" "$dir"

  if [ "$header_only" != "0" ]; then
    dir="$work/header-only-$size"
    printf '\n== library with %s generated messages, none downloaded\n' "$size"
    generate "$dir" --messages "$size" --header-only
    convert_all header-only "$size" "$dir"
  fi
done

for count in "${folder_counts[@]}"; do
  dir="$work/folders-$count"
  printf '\n== library with %s generated messages in %s sibling mailboxes\n' "$folder_messages" "$count"
  generate "$dir" --messages "$folder_messages" --folders "$count"
  convert_all "folders-$count" "$folder_messages" "$dir"
done

# The table, as text here and as Markdown for the README. x floor: the ratio
# to the cat floor of the full library of the same size; for the sibling
# mailboxes, the ratio to the first mailbox count.
table() {
  awk -F'\t' -v md="$1" -v first_folders="${folder_counts[0]:-}" '
    $1 == "full" && $3 == "cat" { floor[$2] = $4 }
    { rows[NR] = $0 }
    $1 == "folders-" first_folders { base[$3] = $4 }
    END {
      if (md) {
        print "| library | messages | step | wall s | ratio | max RSS MB |"
        print "|---------|---------:|------|-------:|------:|-----------:|"
      } else {
        printf "%-14s %9s %-8s %9s %11s %11s\n", "library", "messages", "step", "wall s", "ratio", "max RSS MB"
      }
      for (i = 1; i <= NR; i++) {
        split(rows[i], f, "\t")
        ratio = "-"
        if (f[1] ~ /^folders-/) {
          if (base[f[3]] > 0) ratio = sprintf("%.2f x %s", f[4] / base[f[3]], first_folders)
        } else if (f[1] == "full" && floor[f[2]] > 0) {
          ratio = sprintf("%.2f", f[4] / floor[f[2]])
        }
        if (md)
          printf "| %s | %s | %s | %.3f | %s | %.1f |\n", f[1], f[2], f[3], f[4], ratio, f[5]
        else
          printf "%-14s %9s %-8s %9.3f %11s %11.1f\n", f[1], f[2], f[3], f[4], ratio, f[5]
      }
    }' "$results"
}

# Peak memory of each target from the smallest to the largest library.
memory_lines() {
  local kind target
  [ ${#sizes[@]} -ge 2 ] || return 0
  for kind in full header-only; do
    for target in "${targets[@]}"; do
      awk -F'\t' -v k="$kind" -v t="$target" -v a="${sizes[0]}" -v b="${sizes[${#sizes[@]}-1]}" '
        $1 == k && $3 == t && $2 == a { x = $5; seen++ }
        $1 == k && $3 == t && $2 == b { y = $5; seen++ }
        END {
          if (seen == 2 && x > 0)
            printf "%s %s: %.1f MB at %s messages, %.1f MB at %s (%+.0f%%)\n", k, t, x, a, y, b, (y - x) * 100 / x
        }' "$results"
    done
  done
}

cpu="$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)"
machine="$(nproc 2>/dev/null || echo '?') CPUs (${cpu:-unknown CPU}), $(uname -sr), work folder $storage"
commit="$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
# The README is left out: an earlier run rewrites it.
if [ -n "$(git status --porcelain --untracked-files=no -- . ':!bench/README.md' 2>/dev/null)" ]; then
  commit="$commit (with uncommitted changes)"
fi
when="$(date -u '+%Y-%m-%d %H:%M UTC')"

printf '\n%s, commit %s\n%s; fastest of %s runs\n\n' "$when" "$commit" "$machine" "$runs"
table ""
printf '\nPeak memory:\n'
memory_lines | sed 's/^/  /'

if [ "${KESTRIN_BENCH_README:-1}" != "0" ]; then
  readme="$here/bench/README.md"
  begin='<!-- last run: written by bench/run.sh -->'
  end='<!-- end of last run -->'
  section="$work/last-run.md"
  {
    printf '%s\n\n' "$begin"
    printf '`bench/run.sh %s`, %s, commit %s.\n' "${sizes[*]}" "$when" "$commit"
    printf 'Machine: %s. Fastest of %s runs.\n\n' "$machine" "$runs"
    table md
    printf '\n'
    memory_lines | sed 's/^/- Peak memory, /'
    printf '\n%s\n' "$end"
  } >"$section"
  if grep -qF "$begin" "$readme"; then
    awk -v begin="$begin" -v end="$end" -v section="$section" '
      $0 == begin { while ((getline line < section) > 0) print line; skip = 1; next }
      $0 == end { skip = 0; next }
      !skip { print }' "$readme" >"$readme.new"
  else
    { cat "$readme"; printf '\n## Last run\n\n'; cat "$section"; } >"$readme.new"
  fi
  mv "$readme.new" "$readme"
  printf '\nThe table is in %s.\n' "$readme"
fi

printf 'Raw numbers: %s\n' "$results"
if [ "${KESTRIN_BENCH_KEEP:-}" = "1" ]; then
  printf 'Libraries and outputs kept in %s\n' "$work"
else
  # Every step is timed: now the outputs may go.
  find "$work" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
fi
