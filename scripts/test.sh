#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, pseudo-terminal, window
# and end-to-end tests). With SANITIZE=1 it also builds and runs the tests under
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export LC_ALL=C
ctest --test-dir build --output-on-failure -j2 --timeout 300
if [ "${SANITIZE:-0}" = 1 ]; then
  BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_ARGS="-DMORVALA_SANITIZE=ON" scripts/build.sh
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 --timeout 600 -LE e2e
fi
