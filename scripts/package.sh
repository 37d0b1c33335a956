#!/usr/bin/env bash
# Builds the Debian package as Debian builds its own: with the compiler and
# linker flags dpkg-buildflags gives (fortify, stack protector, relro, bind now),
# the program stripped.
#   scripts/package.sh [BUILD_DIR]   gives BUILD_DIR/rowtick_1.00_<arch>.deb
#                                    (BUILD_DIR defaults to build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-package}"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags="$(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DROWTICK_BUILD_TESTS=OFF -DROWTICK_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build" -j "${ROWTICK_JOBS:-$(nproc)}"
rm -f "$build"/rowtick_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/rowtick_*.deb
