#!/usr/bin/env bash
# Installs the build into a temporary root and checks that it holds exactly
# the expected files and that the launcher and the metainfo validate.
# Usage: check-install.sh BUILD_DIR EXPECTED_LIST
set -euo pipefail
build="$1" expected="$2"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
(cd "$root" && find . -type f -o -type l | sed 's#^\./##' | LC_ALL=C sort) > "$root.list"
if ! diff -u <(LC_ALL=C sort "$expected") "$root.list"; then
  echo "installed files differ from $expected" >&2
  rm -f "$root.list"
  exit 1
fi
rm -f "$root.list"

desktop-file-validate "$root/usr/share/applications/example.hv.Rowtick.desktop"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/example.hv.Rowtick.metainfo.xml"
# The launcher's icon name is one the theme folders hold.
grep -qx 'Icon=example.hv.Rowtick' "$root/usr/share/applications/example.hv.Rowtick.desktop"
echo "install tree and validators: ok"
