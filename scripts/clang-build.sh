#!/usr/bin/env bash
# Builds everything with Clang, warnings as errors, in the fuzzing build
# folder (build-fuzz/, or KESTRIN_FUZZ_BUILD_DIR): every target carries
# libFuzzer's hooks with ASan and UBSan, so the one Clang build serves both
# the warning check and scripts/fuzz.sh, which CI runs next. The tests are
# built, not run: the GCC sanitizer build runs them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

scripts/install-deps.sh

configure_fuzz_build -DKESTRIN_WERROR=ON
cmake --build "$fuzz_build" -j "$jobs"
