#!/usr/bin/env bash
# Unpacks the Debian package scripts/package.sh built into a temporary root:
# the files must be in place, the program stripped, and the dependencies must
# name the Qt libraries, Qt's Japanese texts and the Wayland plugin.
# Usage: check-deb.sh PACKAGE_BUILD_DIR EXPECTED_LIST
set -euo pipefail
build="$1" expected="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
debs=("$build"/rowtick_1.00_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "expected one rowtick_1.00_*.deb in $build, got: ${debs[*]:-none}" >&2; exit 1; }
deb="${debs[0]}"

dpkg-deb -x "$deb" "$work/root"
while read -r file; do
  [[ -e "$work/root/$file" ]] || { echo "missing from the package: $file" >&2; exit 1; }
done < "$expected"
[[ -x "$work/root/usr/bin/rowtick" ]]
file "$work/root/usr/bin/rowtick" | grep -q ', stripped' || { echo "usr/bin/rowtick is not stripped" >&2; exit 1; }

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n qt6-wayland fonts-ipafont-gothic; do
  grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed" >&2; exit 1; }
done
[[ "$(dpkg-deb -f "$deb" Package)" == rowtick && "$(dpkg-deb -f "$deb" Version)" == 1.00 ]]
echo "package $(basename "$deb"): ok"
