#!/usr/bin/env bash
# Builds the package a second time from the very sources of the first build,
# copied to another folder, and compares: the two packages must be the same
# bytes, whatever the build folder and the time of the build.
# Usage: check-reproducible.sh FIRST_OUT_DIR SECOND_OUT_DIR
set -euo pipefail
first="$1" second="$2"
rm -rf "$second"
mkdir -p "$second"
cp -a "$first/rowtick" "$second/rowtick-again"  # dpkg-buildpackage cleans it first
(cd "$second/rowtick-again" && dpkg-buildpackage -us -uc -b -j"$(nproc)" >"$second/build.log" 2>&1) \
  || { tail -n 40 "$second/build.log" >&2; exit 1; }
for deb in "$first"/rowtick*_1.00_*.deb; do
  cmp "$deb" "$second/$(basename "$deb")" || { echo "$(basename "$deb") differs between two builds" >&2; exit 1; }
  echo "$(basename "$deb"): the same bytes ($(sha256sum <"$deb" | cut -c1-16))"
done
