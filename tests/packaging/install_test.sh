#!/usr/bin/env bash
# Installs a build into a scratch root (DESTDIR) and checks it as a user
# would meet it: `kestrin --version`, the man page, Tab completion, the
# desktop entry once the window is built, and that no test tool slipped in.
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
prefix=/usr

fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix "$prefix" >/dev/null
usr="$root$prefix"

# Only the user's programs: no sample-library writer, test or benchmark.
for program in "$usr"/bin/*; do
  case "$(basename "$program")" in
    kestrin | kestrin-gui) ;;
    *) fail "installed a program users do not need: $program" ;;
  esac
done
[ -x "$usr/bin/kestrin" ] || fail "kestrin is not installed"

got="$("$usr/bin/kestrin" --version)"
[ "$got" = "kestrin $version" ] || fail "--version says \"$got\", not \"kestrin $version\""

man_page="$usr/share/man/man1/kestrin.1.gz"
[ -f "$man_page" ] || man_page="$usr/share/man/man1/kestrin.1"
[ -f "$man_page" ] || fail "no man page"
rendered="$(MANWIDTH=100 man -l "$man_page" 2>"$scratch/man.err")"
[ ! -s "$scratch/man.err" ] || fail "man warns: $(cat "$scratch/man.err")"
for part in "kestrin list [SOURCE] [--json]" "EXIT STATUS" "Kestrin $version" "--skip-empty" "EXAMPLES"; do
  grep -qF -- "$part" <<<"$rendered" || fail "the man page lacks \"$part\""
done

# The man page and the completion know every option the help texts name.
completion="$usr/share/bash-completion/completions/kestrin"
[ -f "$completion" ] || fail "no bash completion"
for command in list convert; do
  options="$("$usr/bin/kestrin" "$command" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)"
  [ -n "$options" ] || fail "kestrin $command --help names no option"
  for option in $options; do
    grep -qF -- "$option" <<<"$rendered" || fail "the man page lacks $command $option"
    grep -qF -- "$option" "$completion" || fail "the completion lacks $command $option"
  done
done

# The licence and the changelog where Debian looks for them.
doc="$usr/share/doc/kestrin"
grep -q '^License: GPL-3.0-or-later' "$doc/copyright" 2>/dev/null || fail "no GPL-3.0-or-later copyright file in $doc"
zcat "$doc/changelog.gz" 2>/dev/null | head -n 1 | grep -qF "kestrin ($version)" ||
  fail "$doc/changelog.gz does not start with version $version"

if [ -e "$usr/bin/kestrin-gui" ]; then
  desktop="$usr/share/applications/kestrin.desktop"
  [ -f "$desktop" ] || fail "the window is installed without its desktop entry"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate --no-hints "$desktop" || fail "the desktop entry is not valid"
  fi
  # The window names its desktop entry so that the desktop groups its
  # windows under the entry's icon and name.
  sources="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
  named="$(sed -n 's/.*setDesktopFileName(QStringLiteral("\([^"]*\)")).*/\1/p' "$sources/gui/main.cpp")"
  [ -f "$usr/share/applications/$named.desktop" ] ||
    fail "the window calls itself \"$named\", but no $named.desktop is installed"
  gui_page="$usr/share/man/man1/kestrin-gui.1.gz"
  [ -f "$gui_page" ] || gui_page="$usr/share/man/man1/kestrin-gui.1"
  [ -f "$gui_page" ] || fail "no man page for kestrin-gui"
  gui_rendered="$(MANWIDTH=100 man -l "$gui_page" 2>"$scratch/man.err")"
  [ ! -s "$scratch/man.err" ] || fail "man warns on kestrin-gui: $(cat "$scratch/man.err")"
  grep -qF "Kestrin $version" <<<"$gui_rendered" || fail "the kestrin-gui man page lacks its version"
fi

# Tab completion, driven the way bash drives it.
bash "$(dirname "${BASH_SOURCE[0]}")/completion_test.sh" "$completion" "$scratch/tree"
echo "install holds what users need"
