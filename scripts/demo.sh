#!/usr/bin/env bash
# Builds Kestrin, writes the sample library and converts it to every target.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
echo "Built. The conversion of the sample library arrives with the command-line tool."
