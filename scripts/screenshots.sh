#!/usr/bin/env bash
# Runs the desktop window under Xvfb over a generated library and writes
# its pictures into out/screenshots: the main window with the library
# loaded, the progress sheet part-way through an export, the result sheet
# (also after its Verify button).
# Usage: scripts/screenshots.sh [--readme]   (--readme also copies the main
# window's picture to docs/screenshot-main.png)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

build="${KESTRIN_BUILD_DIR:-build}"
out="$here/out/screenshots"

scripts/install-deps.sh

configure "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target kestrin-gui-screenshots kestrin-sample-library
tool="$build/gui/kestrin-gui-screenshots"
generator="$build/tools/sample-library/kestrin-sample-library"
[ -x "$tool" ] || fail "$tool was not built (is Qt 6 installed?)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Enough messages that the progress sheet is seen part-way.
"$generator" "$work/home" --messages 4000 >/dev/null
mkdir -p "$work/save" "$out"

# A fixed look: Qt's own style, a plain font, English texts, no settings
# of the person running it.
export QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=Fusion LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC
export XDG_CONFIG_HOME="$work/config" HOME="$work/home"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$tool" "$work/home/Library/Mail" "$work/save" "$out"

ls -l "$out"
if [ "${1:-}" = "--readme" ]; then
  cp "$out/main-window.png" docs/screenshot-main.png
  echo "copied to docs/screenshot-main.png"
fi
