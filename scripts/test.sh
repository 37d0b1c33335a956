#!/usr/bin/env bash
# Installs what is missing, builds Rowtick with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DROWTICK_BUILD_TESTS=ON -DROWTICK_BUILD_BENCH=ON >/dev/null
cmake --build build-test -j "$(nproc)"
ctest --test-dir build-test --output-on-failure -j "$(nproc)"
