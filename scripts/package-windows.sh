#!/usr/bin/env bash
# Builds Rowtick for 64-bit Windows and packs it twice:
#   OUT_DIR/Rowtick-<version>-x64.msi   the installer (Debian's wixl)
#   OUT_DIR/Rowtick-<version>-x64.zip   the same files, to run without installing
#   scripts/package-windows.sh [OUT_DIR]          (default: build-windows)
# Qt for MinGW comes from scripts/qt-mingw.sh (built once, then cached).
# ROWTICK_WINDOWS_BUILD names a build folder configured already with that Qt
# (the test command's), whose Rowtick.exe is packed instead of building one.
# Two runs on one commit give the same bytes: every time stamp is the date of
# the last debian/changelog entry, the installer's codes come from the version
# and the files, and the zip holds its entries in a fixed order.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir="$PWD"
out="$(mkdir -p "${1:-build-windows}" && cd "${1:-build-windows}" && pwd)"

scripts/setup.sh test
qt="$(scripts/qt-mingw.sh | tail -n 1)"
export SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l debian/changelog -STimestamp)"
stamp="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')"
triple=x86_64-w64-mingw32

build="${ROWTICK_WINDOWS_BUILD:-$out/build}"
if [[ -z "${ROWTICK_WINDOWS_BUILD:-}" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DROWTICK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target rowtick
read -r version product_version <"$build/rowtick-version.txt"

# The folder as installed: the program, Qt's translation, the DLLs of Qt and
# of the MinGW runtime, the platform plugin and the style.
stage="$out/stage/Rowtick"
rm -rf "$out/stage"
mkdir -p "$stage/platforms" "$stage/styles"
cmake --install "$build" --prefix "$stage" >/dev/null
for dll in Qt6Core Qt6Gui Qt6Widgets; do
  cp "$qt/bin/$dll.dll" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$("$triple-g++-posix" -print-file-name="$dll")" "$stage/"
done
# Stripped, they keep a time stamp of SOURCE_DATE_EPOCH.
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec "$triple-strip" --strip-unneeded {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

# Every DLL the program and its plugins import is one of Windows' own or is
# packed beside it.
windows_dlls=" advapi32 authz comdlg32 d3d11 d3d9 dwmapi dwrite dxgi gdi32 imm32 kernel32 mpr msvcrt "
windows_dlls+=" netapi32 ole32 oleaut32 setupapi shcore shell32 shlwapi user32 userenv uxtheme version "
windows_dlls+=" winmm ws2_32 wtsapi32 "
missing=0
for dll in $(find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec "$triple-objdump" -p {} + \
               | sed -n 's/^\s*DLL Name: //p' | sort -u); do
  base="$(tr A-Z a-z <<<"${dll%.*}")"
  if [[ ! -e "$stage/$dll" && "$windows_dlls" != *" $base "* && "$base" != api-ms-win-* ]]; then
    echo "package-windows: nothing provides $dll" >&2
    missing=1
  fi
done
[[ $missing -eq 0 ]]

name="Rowtick-$version-x64"
# The codes of the installer: the product's from its version, the package's
# from the files it holds (another package, another code).
uuid_of() { sha256sum | cut -c1-32 | tr a-f A-F | sed -E 's/(.{8})(.{4})(.{4})(.{4})(.{12})/\1-\2-\3-\4-\5/'; }
product_code="$(echo "Rowtick product $product_version x64" | uuid_of)"
package_code="$( (cd "$stage" && find . -type f | LC_ALL=C sort | xargs sha256sum) | uuid_of)"

work="$out/msi"
rm -rf "$work"
mkdir -p "$work"
cp dist/windows/Rowtick.wxs dist/icons/rowtick.ico "$work/"
ln -s "$stage" "$work/stage"
# wixl takes the files by paths relative to the folder it runs in, and stamps
# the package with the time of day: faketime holds the clock still.
(cd "$work" && faketime -f "$stamp" wixl -a x64 -o "$name.msi" \
   -D Version="$product_version" -D ProductCode="$product_code" -D Stage=stage -D Icon=rowtick.ico Rowtick.wxs \
 && faketime -f "$stamp" msibuild "$name.msi" -s Rowtick Halvern 'x64;1041' "{$package_code}")
mv "$work/$name.msi" "$out/"
rm -rf "$work"

rm -f "$out/$name.zip"
(cd "$out/stage" && find Rowtick | LC_ALL=C sort | TZ=UTC zip -q -X -D "$out/$name.zip" -@)
rm -rf "$out/stage"
echo "$out/$name.msi"
echo "$out/$name.zip"
