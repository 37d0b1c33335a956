#!/usr/bin/env bash
# Builds the package a second time, from a copy in another folder, and
# compares: the two packages must be the same bytes.
# Usage: check-reproducible.sh FIRST_OUT_DIR SECOND_OUT_DIR
set -euo pipefail
first="$1" second="$2"
bash "$(dirname "$0")/../../scripts/package.sh" "$second" >/dev/null
for deb in "$first"/rowtick*_1.00_*.deb; do
  cmp "$deb" "$second/$(basename "$deb")" || { echo "$(basename "$deb") differs between two builds" >&2; exit 1; }
  echo "$(basename "$deb"): the same bytes ($(sha256sum <"$deb" | cut -c1-16))"
done
