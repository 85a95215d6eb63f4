#!/usr/bin/env bash
# Builds the Debian package of Kestrin and checks it the way a user meets it:
# configures a Release build in build-package/ with Debian's hardening flags,
# runs `cpack -G DEB`, checks the package with lintian, installs it, then
# runs the installed `kestrin --version`, converts the sample library to
# every target with the installed binary and renders the man page.
#
#   scripts/package.sh [--apt | --extract]
#
# --apt      installs with `apt-get install ./kestrin_*.deb` (needs root; the
#            default when run as root)
# --extract  unpacks the package into a clean scratch root with `dpkg -x`
#            (no root needed; the default otherwise)
# KESTRIN_PACKAGE_BUILD_DIR names another build folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

mode=""
case "${1:-}" in
  --apt) mode=apt ;;
  --extract) mode=extract ;;
  "") if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then mode=apt; else mode=extract; fi ;;
  *) echo "usage: scripts/package.sh [--apt | --extract]" >&2; exit 64 ;;
esac

build="${KESTRIN_PACKAGE_BUILD_DIR:-build-package}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

step "Installing what is missing"
scripts/install-deps.sh

step "Building a Release build in $build/"
# Debian's hardening: fortified string and memory functions, stack
# protection, read-only relocations bound at start (bindnow).
buildflag() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
configure "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKESTRIN_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(buildflag CPPFLAGS) $(buildflag CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(buildflag CPPFLAGS) $(buildflag CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(buildflag LDFLAGS)" >/dev/null
cmake --build "$build" -j "$jobs"
version="$(sed -n 's/^#define KESTRIN_VERSION "\(.*\)"$/\1/p' "$build/generated/KestrinVersion.h")"
[ -n "$version" ] || fail "the build has no version"

step "Packaging kestrin $version"
rm -f "$build"/kestrin_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/kestrin_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "cpack wrote no kestrin_${version}_*.deb"
deb="$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")"
dpkg-deb --field "$deb"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libgmime-3.0 libsqlite3 libicu libzstd libzip libplist; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
if dpkg-deb -c "$deb" | grep -E 'sample-library|_tests|libbuilder|bench' ; then
  fail "the package holds test tools"
fi
changelog_version="$(sed -n '1s/^kestrin (\([^)]*\)).*/\1/p' packaging/changelog)"
[ "$changelog_version" = "$version" ] ||
  fail "packaging/changelog starts with version \"$changelog_version\", not $version: add an entry"

step "lintian $(basename "$deb")"
# Errors fail the package; warnings and notes are shown.
lintian --fail-on error --info "$deb"

case "$mode" in
  apt)
    step "Installing $(basename "$deb") with apt-get"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$deb"
    kestrin="$(command -v kestrin)" || fail "kestrin is not on the PATH after installing"
    [ "$kestrin" = /usr/bin/kestrin ] || fail "kestrin is $kestrin, not /usr/bin/kestrin"
    man_page=(kestrin)
    [ -f /usr/share/man/man1/kestrin.1.gz ] || {
      # Minimal images tell dpkg to skip man pages; read it from the package then.
      dpkg -x "$deb" "$scratch/root"
      man_page=(-l "$scratch/root/usr/share/man/man1/kestrin.1.gz")
    }
    ;;
  extract)
    step "Unpacking $(basename "$deb") into a clean root"
    dpkg -x "$deb" "$scratch/root"
    kestrin="$scratch/root/usr/bin/kestrin"
    man_page=(-l "$scratch/root/usr/share/man/man1/kestrin.1.gz")
    ;;
esac

step "$kestrin --version"
got="$("$kestrin" --version)"
echo "$got"
[ "$got" = "kestrin $version" ] || fail "--version says \"$got\", not \"kestrin $version\""

step "man ${man_page[*]}"
rendered="$(MANWIDTH=80 man -P cat "${man_page[@]}" 2>/dev/null)" || fail "man cannot render the page"
grep -q 'EXIT STATUS' <<<"$rendered" || fail "the rendered man page has no EXIT STATUS"
head -n 8 <<<"$rendered"

step "Converting the sample library with the installed kestrin"
"$build/tools/sample-library/kestrin-sample-library" "$scratch/sample" >/dev/null
mail="$scratch/sample/Library/Mail"
"$kestrin" list "$mail" >/dev/null || fail "the installed kestrin cannot list the sample library"
"$kestrin" list "$mail" --json | python3 -c 'import json, sys; json.load(sys.stdin)' ||
  fail "list --json is not valid JSON"
for target in eml mbox archive; do
  status=0
  "$kestrin" convert "$mail" --to "$target" --out "$scratch/$target" --no-progress \
    >"$scratch/$target.txt" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$scratch/$target.txt" >&2
    fail "converting to $target with the installed kestrin failed (exit status $status)"
  fi
  [ -f "$scratch/$target/Converted Data/Detailed Conversion Report.txt" ] ||
    fail "no conversion report for $target"
  printf '  %-8s %s\n' "$target" "$(grep -m 1 'Total number of items processed' "$scratch/$target.txt")"
done

step "Done: $deb"
