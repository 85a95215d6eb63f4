#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in
# build-fuzz and runs each for a bounded time, starting from its seed corpus
# in fuzz/corpus/<target>/. Exits non-zero on any finding; a crashing input is
# left as build-fuzz/findings/<target>/crash-* (keep it under
# tests/fixtures/fuzz/<target>/ once the fault is fixed).
#
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
#
# With KESTRIN_FUZZ_RUNS=N each target instead runs N inputs from a fixed seed
# (KESTRIN_FUZZ_SEED, default 1): CI does that, so a finding there comes back
# the same on any machine, while runs by time keep finding new inputs.
#
# Findings already known and being fixed are listed in fuzz/known-findings.txt
# and tolerated, nothing else.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

scripts/install-deps.sh

seconds="${1:-30}"
shift || true
build="$fuzz_build"

configure_fuzz_build >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/Fuzz*.cpp; do
    name="$(basename "$source" .cpp)"
    [ "$name" = FuzzEntries ] && continue
    # FuzzSafeName -> safe-name
    name="$(echo "${name#Fuzz}" | sed -E 's/([a-z])([A-Z])/\1-\2/g' | tr 'A-Z' 'a-z')"
    targets+=("$name")
  done
fi

binaries=()
for t in "${targets[@]}"; do binaries+=("fuzz_${t//-/_}"); done
cmake --build "$build" -j "$jobs" --target "${binaries[@]}"

known="$(grep -v '^\s*#' fuzz/known-findings.txt | grep -v '^\s*$' | paste -sd, - || true)"
export KESTRIN_FUZZ_KNOWN="${KESTRIN_FUZZ_KNOWN:-$known}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}"

failed=()
for t in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_${t//-/_}"
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  if [ -n "${KESTRIN_FUZZ_RUNS:-}" ]; then
    echo "== fuzz $t for $KESTRIN_FUZZ_RUNS inputs (seed ${KESTRIN_FUZZ_SEED:-1})"
  else
    echo "== fuzz $t for ${seconds}s"
  fi
  # The working corpus starts from the committed seeds and the kept
  # regression inputs; what it grows stays in the build folder.
  if [ -n "${KESTRIN_FUZZ_RUNS:-}" ]; then
    bound=(-runs="$KESTRIN_FUZZ_RUNS" -seed="${KESTRIN_FUZZ_SEED:-1}")
  else
    bound=(-max_total_time="$seconds")
  fi
  if ! "$binary" "${bound[@]}" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "fuzz/corpus/$t" $( [ -d "tests/fixtures/fuzz/$t" ] && echo "tests/fixtures/fuzz/$t" ) \
      >"$build/findings/$t.log" 2>&1; then
    echo "!! $t found a fault; see $build/findings/$t.log and $findings/" >&2
    grep -E 'ERROR|==kestrin-fuzz==|SUMMARY|Test unit written' "$build/findings/$t.log" | head -20 >&2 || true
    failed+=("$t")
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/findings/$t.log" | head -2 || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no findings"
