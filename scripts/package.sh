#!/usr/bin/env bash
# Builds the Debian package from debian/ with dpkg-buildpackage, in a copy of
# the source tree, since dpkg-buildpackage writes its results next to the tree
# it builds (the parent folder of a clone may be read-only or shared).
#   scripts/package.sh [OUT_DIR]   gives OUT_DIR/rowtick_1.00_<arch>.deb
#                                  (OUT_DIR defaults to build-package)
# The copy holds the files git tracks, and new ones it does not ignore, as they
# are in the working tree; it is built at OUT_DIR/rowtick.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-package}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
tree="$out/rowtick"

rm -rf "$tree" "$out"/rowtick_* "$out"/rowtick-dbgsym_*
mkdir -p "$tree"
git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' file; do [[ -e "$file" || -L "$file" ]] && printf '%s\0' "$file"; done \
  | tar --null --files-from=- -cf - | tar -xf - -C "$tree"
(cd "$tree" && dpkg-buildpackage -us -uc -b -j"${ROWTICK_JOBS:-$(nproc)}" >"$out/build.log" 2>&1) \
  || { tail -n 40 "$out/build.log" >&2; exit 1; }
ls "$out"/rowtick_*.deb
