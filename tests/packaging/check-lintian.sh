#!/usr/bin/env bash
# Runs lintian on the package scripts/package.sh built: no error and no warning
# may be left, nor any of the hardening tags lintian gives as information.
# Usage: check-lintian.sh PACKAGE_OUT_DIR
set -euo pipefail
out="$1"
shopt -s nullglob
debs=("$out"/rowtick_1.00_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "expected one rowtick_1.00_*.deb in $out, got: ${debs[*]:-none}" >&2; exit 1; }

# The one tag the package overrides is lintian's guess; the flags themselves are checked here.
grep -q -- '-D_FORTIFY_SOURCE=2' "$out"/rowtick/obj-*/build.ninja || { echo "the package build lacks -D_FORTIFY_SOURCE=2" >&2; exit 1; }

tags="$(lintian --display-info --pedantic --tag-display-limit 0 "${debs[0]}" "$out"/rowtick_1.00_*.changes 2>/dev/null || true)"
[[ -z "$tags" ]] || echo "$tags"
if grep -E '^(E|W): |^[IP]: rowtick: hardening-' <<<"$tags" >&2; then
  echo "lintian: the tags above must go" >&2
  exit 1
fi
echo "lintian on $(basename "${debs[0]}"): ok"
