#!/usr/bin/env bash
# Installs what is missing, builds Rowtick and opens its window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DROWTICK_BUILD_APP=ON -DROWTICK_BUILD_TESTS=OFF -DROWTICK_BUILD_BENCH=OFF >/dev/null
cmake --build build --target rowtick
exec build/app/rowtick "$@"
