#!/usr/bin/env bash
# Runs clang-tidy's checks (.clang-tidy) over every .cpp in src/; any finding
# fails. BUILD_DIR chooses the build folder whose compile commands it reads
# (default: build-tidy, configured here if need be; only the generated
# sources are built, not the program).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-tidy}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DTOVIRA_BUILD_TESTS=OFF -DTOVIRA_BUILD_BENCH=OFF >/dev/null
# The moc and version headers the sources include.
ninja -C "$BUILD_DIR" -t targets all | sed -n 's/^\(src\/[^:]*_autogen\): .*/\1/p' \
  | xargs -r ninja -C "$BUILD_DIR" >/dev/null
run-clang-tidy -quiet -p "$BUILD_DIR" -j "$(nproc)" "$PWD/src/.*\.cpp\$"
