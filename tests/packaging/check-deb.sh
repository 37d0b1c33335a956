#!/usr/bin/env bash
# Builds the Debian package and unpacks it into a temporary root: the files must
# be in place and the dependencies must name the Qt libraries.
# Usage: check-deb.sh BUILD_DIR EXPECTED_LIST
set -euo pipefail
build="$1" expected="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null
shopt -s nullglob
debs=("$work"/out/rowtick_1.00_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "expected one rowtick_1.00_*.deb, got: ${debs[*]:-none}" >&2; exit 1; }
deb="${debs[0]}"

dpkg-deb -x "$deb" "$work/root"
while read -r file; do
  [[ -e "$work/root/$file" ]] || { echo "missing from the package: $file" >&2; exit 1; }
done < "$expected"
[[ -x "$work/root/usr/bin/rowtick" ]]

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libqt6widgets6 qt6-qpa-plugins fonts-ipafont-gothic; do
  grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed" >&2; exit 1; }
done
[[ "$(dpkg-deb -f "$deb" Package)" == rowtick && "$(dpkg-deb -f "$deb" Version)" == 1.00 ]]
echo "package $(basename "$deb"): ok"
