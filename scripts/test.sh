#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole suite.
# KESTRIN_SANITIZE=1 (the default under CI) builds with ASan and UBSan;
# KESTRIN_WERROR=1 (the default under CI) turns compiler warnings into errors.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

scripts/install-deps.sh

sanitize="${KESTRIN_SANITIZE:-}"
werror="${KESTRIN_WERROR:-}"
if [ "${CI:-}" = "true" ]; then
  sanitize="${sanitize:-1}"
  werror="${werror:-1}"
fi

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
if [ "$werror" = "1" ]; then flags+=(-DKESTRIN_WERROR=ON); else flags+=(-DKESTRIN_WERROR=OFF); fi

configure "$build" "${flags[@]}"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
