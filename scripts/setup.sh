#!/usr/bin/env bash
# Installs the Debian packages Rowtick needs that are not installed yet.
#   scripts/setup.sh run    what building and running the window needs
#   scripts/setup.sh test   that, plus what the tests need
set -euo pipefail

purpose="${1:-run}"

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n qt6-wayland
  libgl-dev
  fonts-ipafont-gothic
)
if [[ "$purpose" == test ]]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev liburing-dev
    clang libclang-rt-14-dev
    dpkg-dev debhelper desktop-file-utils appstream lintian file dbus-daemon
    binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    googletest wine wine64 locales
    libx11-dev xvfb openbox xdotool x11-utils
    acl attr dosfstools fusefat
    wixl msitools faketime zip
  )
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
