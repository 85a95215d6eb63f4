#!/usr/bin/env bash
# Builds Kestrin, writes the sample Apple Mail library into out/demo/sample,
# lists it and converts it to every target (out/demo/eml, out/demo/mbox,
# out/demo/archive). Stops with a non-zero status at the first step that fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

build="${KESTRIN_BUILD_DIR:-build}"
demo="$here/out/demo"

step "Installing what is missing"
scripts/install-deps.sh

step "Building kestrin and the sample-library generator in $build/"
configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target kestrin kestrin-sample-library
kestrin="$build/cli/kestrin"
generator="$build/tools/sample-library/kestrin-sample-library"
[ -x "$kestrin" ] || fail "$kestrin was not built"
[ -x "$generator" ] || fail "$generator was not built"

step "Writing the sample library into out/demo/sample"
rm -rf "$demo"
mkdir -p "$demo"
"$generator" "$demo/sample"
mail="$demo/sample/Library/Mail"

step "kestrin list $mail"
"$kestrin" list "$mail"

targets=(eml mbox archive)
for target in "${targets[@]}"; do
  step "kestrin convert --to $target --out out/demo/$target"
  mkdir -p "$demo/$target"
  log="$demo/$target/kestrin-convert.txt"
  status=0
  "$kestrin" convert "$mail" --to "$target" --out "$demo/$target" --no-progress >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$log" >&2
    fail "converting to $target failed (exit status $status)"
  fi
  # The result title and the total; the whole brief report is in the log.
  head -n 1 "$log"
  grep -m 1 'Total number of items processed' "$log" || true
done

step "Done. Output:"
for target in "${targets[@]}"; do
  converted="$demo/$target/Converted Data"
  [ -d "$converted" ] || fail "no \"Converted Data\" folder in out/demo/$target"
  [ -f "$converted/Detailed Conversion Report.txt" ] || fail "no conversion report in out/demo/$target"
  printf '  %-8s %s\n' "$target" "${converted#"$here/"}/"
  printf '  %-8s %s\n' "" "${converted#"$here/"}/Detailed Conversion Report.txt"
done
printf '  %-8s %s\n' "log" "out/demo/<target>/kestrin-convert.txt (what kestrin printed)"
