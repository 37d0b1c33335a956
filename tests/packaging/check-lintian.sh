#!/usr/bin/env bash
# Runs lintian on the package scripts/package.sh built: no error and no warning
# may be left, nor any of the hardening tags lintian gives as information.
# Usage: check-lintian.sh PACKAGE_BUILD_DIR
set -euo pipefail
build="$1"
shopt -s nullglob
debs=("$build"/rowtick_1.00_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "expected one rowtick_1.00_*.deb in $build, got: ${debs[*]:-none}" >&2; exit 1; }

# The one tag the package overrides is lintian's guess; the flags themselves are checked here.
grep -q -- '-D_FORTIFY_SOURCE=2' "$build/build.ninja" || { echo "the package build lacks -D_FORTIFY_SOURCE=2" >&2; exit 1; }

tags="$(lintian --display-info --pedantic --no-tag-display-limit "${debs[0]}" 2>/dev/null || true)"
[[ -z "$tags" ]] || echo "$tags"
if grep -E '^(E|W): |^[IP]: rowtick: hardening-' <<<"$tags" >&2; then
  echo "lintian: the tags above must go" >&2
  exit 1
fi
echo "lintian on $(basename "${debs[0]}"): ok"
