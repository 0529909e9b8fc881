#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the main build, the engine and the
# app's model again under AddressSanitizer and UndefinedBehaviorSanitizer, and the scanner and
# the helper under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Engine under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHOLLOWMERE_ENGINE_ONLY=ON \
  -DHOLLOWMERE_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== The app's model under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan-app -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHOLLOWMERE_BENCH=OFF \
  -DHOLLOWMERE_SANITIZE=address,undefined >/dev/null
cmake --build build-asan-app -j "$jobs" --target app_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ./build-asan-app/tests/app/app_tests

echo "== Scanner and helper under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOLLOWMERE_ENGINE_ONLY=ON \
  -DHOLLOWMERE_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target scanner_tests helper_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ./build-tsan/tests/scankit/scanner_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ./build-tsan/tests/helper/helper_tests
