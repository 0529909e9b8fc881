#!/usr/bin/env bash
# Installs what is missing, builds a Release and runs Hollowmere. Until the windowed app
# exists, this prints the terminal report of hollowmere-scan for FOLDER (default: home).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DHOLLOWMERE_TESTS=OFF \
  -DHOLLOWMERE_BENCH=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target hollowmere-scan
exec ./build-release/src/cli/hollowmere-scan "${1:-$HOME}"
