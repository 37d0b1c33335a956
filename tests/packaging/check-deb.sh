#!/usr/bin/env bash
# Unpacks the Debian package scripts/package.sh built into a temporary root: it
# must hold exactly what an installation holds, the manual page compressed, with
# the changelog, the copyright file and the lintian override; the program
# stripped; the dependencies naming the Qt libraries (the D-Bus one too), Qt's
# Japanese texts and the Wayland plugin; the bus able to start the program.
# Usage: check-deb.sh PACKAGE_OUT_DIR EXPECTED_INSTALL_LIST
set -euo pipefail
out="$1" expected="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
debs=("$out"/rowtick_1.00_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { echo "expected one rowtick_1.00_*.deb in $out, got: ${debs[*]:-none}" >&2; exit 1; }
deb="${debs[0]}"

dpkg-deb -x "$deb" "$work/root"
{
  sed 's#^\(usr/share/man/.*\)$#\1.gz#' "$expected"
  printf '%s\n' usr/share/doc/rowtick/changelog.gz usr/share/doc/rowtick/copyright usr/share/lintian/overrides/rowtick
} | LC_ALL=C sort > "$work/expected"
(cd "$work/root" && find . -type f -o -type l | sed 's#^\./##' | LC_ALL=C sort) > "$work/packaged"
diff -u "$work/expected" "$work/packaged" || { echo "the package's files differ" >&2; exit 1; }
[[ -x "$work/root/usr/bin/rowtick" ]]
file "$work/root/usr/bin/rowtick" | grep -q ', stripped' || { echo "usr/bin/rowtick is not stripped" >&2; exit 1; }
service="$work/root/usr/share/dbus-1/services/example.hv.Rowtick.service"
grep -qx 'Name=example.hv.Rowtick' "$service" && grep -qx 'Exec=/usr/bin/rowtick' "$service" \
  || { echo "the D-Bus service file does not start /usr/bin/rowtick as example.hv.Rowtick" >&2; exit 1; }

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libqt6widgets6 libqt6dbus6 qt6-qpa-plugins qt6-translations-l10n qt6-wayland fonts-ipafont-gothic; do
  grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed" >&2; exit 1; }
done
[[ "$(dpkg-deb -f "$deb" Package)" == rowtick && "$(dpkg-deb -f "$deb" Version)" == 1.00 ]]
echo "package $(basename "$deb"): ok"
