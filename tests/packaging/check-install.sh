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

desktop-file-validate "$root/usr/share/applications/example.hv.Rowtick.desktop"  # with MimeType and the %F field code
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/example.hv.Rowtick.metainfo.xml"
launcher="$root/usr/share/applications/example.hv.Rowtick.desktop"
# The launcher's icon name is one the theme folders hold; it takes files
# ("Open with", a drop on the launcher) and offers itself for text and source.
grep -qx 'Icon=example.hv.Rowtick' "$launcher"
grep -qx 'Exec=rowtick %F' "$launcher" || { echo "the launcher does not pass files" >&2; exit 1; }
# A desktop that knows D-Bus activation hands the files to the open window.
grep -qx 'DBusActivatable=true' "$launcher" || { echo "the launcher is not D-Bus activatable" >&2; exit 1; }
for type in text/plain text/x-csrc text/x-c++src text/x-python; do
  grep -q "^MimeType=\(.*;\)\?$type;" "$launcher" || { echo "the launcher lacks MimeType $type" >&2; exit 1; }
done
echo "install tree and validators: ok"
