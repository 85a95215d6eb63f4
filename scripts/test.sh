#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole suite.
# KESTRIN_SANITIZE=1 (the default under CI) builds with ASan and UBSan.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

scripts/install-deps.sh

sanitize="${KESTRIN_SANITIZE:-}"
if [ -z "$sanitize" ] && [ "${CI:-}" = "true" ]; then sanitize=1; fi

if [ "$sanitize" = "1" ]; then
  build="${KESTRIN_BUILD_DIR:-build-sanitize}"
  flags=(-DKESTRIN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
  export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}"
else
  build="${KESTRIN_BUILD_DIR:-build}"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
