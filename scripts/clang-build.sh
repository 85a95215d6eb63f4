#!/usr/bin/env bash
# Builds everything with Clang in build-clang/, warnings as errors, and runs
# a quick subset of the tests (the command's, the platform layer's). CI runs
# it after the GCC suite so that the code stays warning-free with both
# compilers; KESTRIN_CLANG_TESTS names another ctest regular expression.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

scripts/install-deps.sh

build="${KESTRIN_CLANG_BUILD_DIR:-build-clang}"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKESTRIN_WERROR=ON "${launcher[@]}"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" \
  -R "${KESTRIN_CLANG_TESTS:-^(Cli|Platform|packaging)}"
