#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages.
# Quick when everything is present; refreshes the package lists only when
# something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config python3
  libgmime-3.0-dev libglib2.0-dev
  libicu-dev libkakasi2-dev
  libsqlite3-dev sqlite3
  libboost-filesystem-dev libboost-thread-dev
  libzstd-dev zstd
  libzip-dev
  libplist-dev
  nlohmann-json3-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  # The desktop window: Qt 6 Widgets and Test, its SVG icon and platform
  # plugins, and Xvfb with a font for the screenshot run.
  qt6-base-dev libqt6svg6 qt6-qpa-plugins
  xvfb xauth fonts-dejavu-core
  dpkg-dev file man-db bash-completion desktop-file-utils
  # scripts/package.sh checks the Debian package with lintian.
  lintian
  # Converted mailboxes and Maildirs are read back by Dovecot's doveadm and
  # by notmuch in the tests.
  dovecot-core notmuch
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps: these Debian packages are missing: ${missing[*]}" >&2
    echo "install-deps: installing them needs root, and sudo is not installed;" \
         "run scripts/install-deps.sh as root (or install sudo) and try again" >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
