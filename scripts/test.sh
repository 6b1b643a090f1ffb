#!/usr/bin/env bash
# Builds Tovira and runs every test. Extra arguments go to cmake's configure
# step; BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
# Only read by the sanitizer build: memory OpenSSL holds until exit is not ours.
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
cmake -S . -B "$BUILD_DIR" -G Ninja "$@"
cmake --build "$BUILD_DIR" --parallel
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600
