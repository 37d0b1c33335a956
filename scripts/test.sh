#!/usr/bin/env bash
# Installs what is missing, builds Rowtick with its tests and runs every test:
# once as built for use, once under AddressSanitizer and UndefinedBehaviorSanitizer
# (with the fuzzing test of the line counter), and the core's and the window's
# tests once more under ThreadSanitizer; the core, the window and their tests
# also cross-built for Windows (with Qt built once by scripts/qt-mingw.sh) and
# run under Wine, and the Windows installer tried there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test
jobs="$(nproc)"

step() { echo "== $1 (at ${SECONDS}s)"; }
step "Tests"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DROWTICK_BUILD_TESTS=ON -DROWTICK_BUILD_BENCH=ON >/dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs"

step "Windows: Qt for MinGW-w64 (built once, then taken from ~/.cache/rowtick)"
qt="$(scripts/qt-mingw.sh | tail -n 1)"

step "Windows: cross-built with MinGW-w64 and that Qt, the tests run under Wine"
# The core's and the window's tests (offscreen), then the MSI and the zip from
# this build and the whole program installed and driven under Wine on Xvfb.
# A fresh Wine prefix each time; CTest starts and stops its Wine server, and the
# trap stops it too should the run be cut short.
grep -qF "$qt/" build-win/CMakeCache.txt 2>/dev/null || rm -rf build-win  # made with another Qt, or none
rm -rf build-win/wine-prefix
trap 'WINEPREFIX="$PWD/build-win/wine-prefix" wineserver -k 2>/dev/null || true' EXIT
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
cmake --build build-win -j "$jobs"
ctest --test-dir build-win --output-on-failure -j "$jobs"

step "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DROWTICK_BUILD_TESTS=ON -DROWTICK_BUILD_BENCH=OFF -DROWTICK_BUILD_FUZZ=ON -DROWTICK_TEST_PACKAGING=OFF \
  "-DCMAKE_CXX_FLAGS=$sanitizers" "-DCMAKE_EXE_LINKER_FLAGS=$sanitizers" >/dev/null
cmake --build build-sanitize -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

step "Core and window tests under ThreadSanitizer"
sanitizers="-fsanitize=thread -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DROWTICK_BUILD_TESTS=ON -DROWTICK_BUILD_BENCH=OFF -DROWTICK_TEST_PACKAGING=OFF \
  "-DCMAKE_CXX_FLAGS=$sanitizers" "-DCMAKE_EXE_LINKER_FLAGS=$sanitizers" >/dev/null
cmake --build build-tsan -j "$jobs" --target core_tests window_tests
export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/sanitizers/tsan.supp"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R '^(core_tests|window_tests)$'
echo "== All tests passed in ${SECONDS}s"
