#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source, with Debian's
# MinGW-w64 (POSIX threads) and the host's Qt 6.4.2 as the host tools, and
# installs it into a cache outside the clone:
#   ~/.cache/rowtick/qt-6.4.2-mingw-x86_64-<hash of this script>
# Only what Rowtick needs is built: QtCore, QtGui, QtWidgets, QtTest, the
# windows and offscreen platform plugins and the windowsvista style.
# A complete cache (its stamp is written last) is left as it is. The install's
# path is printed on the last line, for the callers:
#   qt="$(scripts/qt-mingw.sh | tail -n 1)"
# A cold build takes about 21 minutes on two quiet cores; ROWTICK_QT_JOBS sets
# the parallel jobs (default: the number of cores).
set -euo pipefail

version=6.4.2
script="$(readlink -f "$0")"
hash="$(sha256sum "$script" | cut -c1-12)"
cache="${ROWTICK_CACHE:-$HOME/.cache/rowtick}"
prefix="$cache/qt-$version-mingw-x86_64-$hash"
stamp="$prefix/.rowtick-complete"

if [[ -f "$stamp" ]]; then
  echo "$prefix"
  exit 0
fi

log() { echo "qt-mingw: $* (at ${SECONDS}s)" >&2; }

# The tools: the source comes through apt, which needs dpkg-dev to unpack it.
need=()
for package in dpkg-dev cmake ninja-build qt6-base-dev qt6-base-dev-tools \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
    || need+=("$package")
done
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)

# A deb-src entry for the suites the machine already uses, when there is none.
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  log "adding deb-src entries beside the deb ones"
  tmp="$(mktemp)"
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$file" ]] || continue
    # deb822 stanzas: each "Types: deb" stanza once more as "Types: deb-src".
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /(^|\n)Types:[ \t]*deb([ \t]|\n|$)/ { sub(/Types:[ \t]*deb/, "Types: deb-src"); print }' \
      "$file" >>"$tmp"
  done
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$tmp.list"
    "${sudo[@]}" install -m 644 "$tmp.list" /etc/apt/sources.list.d/rowtick-deb-src.list
  fi
  [[ -s "$tmp" ]] && "${sudo[@]}" install -m 644 "$tmp" /etc/apt/sources.list.d/rowtick-deb-src.sources
  rm -f "$tmp" "$tmp.list"
  "${sudo[@]}" apt-get update -qq
fi
if [[ ${#need[@]} -gt 0 ]]; then
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
[[ "$host_version" == "$version"* ]] \
  || { echo "qt-mingw: the host's Qt is $host_version, not $version" >&2; exit 1; }

work="$cache/work-$hash"
rm -rf "$work" "$prefix"
mkdir -p "$work/src" "$prefix"
log "getting the source of qt6-base $host_version"
(cd "$work/src" && apt-get source -qq "qt6-base=$host_version" >/dev/null)
source_dir="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)"
[[ -n "$source_dir" ]] || { echo "qt-mingw: apt-get source left no qt6-base directory" >&2; exit 1; }

# Like the project's toolchain file, without the static linking: Qt is DLLs,
# and the MinGW runtime DLLs go beside them. It stays in the install, where
# the install's qt.toolchain.cmake loads it for every program built with Qt.
toolchain="$prefix/mingw-w64-x86_64.cmake"
cat >"$toolchain" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# The windows plugin's tablet support needs the wintab header, which Debian's
# source leaves out; and with OpenGL off the plugin still reaches for
# QOpenGLStaticContext under dynamicgl: both off. QtGui builds its DirectWrite
# font database only with direct2d, which Rowtick does not need, while the
# plugin asks for it under directwrite3 alone: that off too (the plugin's own
# GDI font database serves).
log "configuring"
cmake -S "$source_dir" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF \
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
  -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
  -DFEATURE_sql=OFF -DFEATURE_openssl=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_directwrite3=OFF \
  >"$work/configure.log" 2>&1 \
  || { tail -n 40 "$work/configure.log" >&2; exit 1; }

log "building"
cmake --build "$work/build" -j "${ROWTICK_QT_JOBS:-$(nproc)}"
log "installing into $prefix"
cmake --install "$work/build" >/dev/null
for needed in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
  plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
  plugins/styles/qwindowsvistastyle.dll lib/cmake/Qt6/qt.toolchain.cmake; do
  [[ -f "$prefix/$needed" ]] || { echo "qt-mingw: the install has no $needed" >&2; exit 1; }
done
rm -rf "$work"
touch "$stamp"
log "done"
echo "$prefix"
