#!/usr/bin/env bash
# Installs the packages, builds Tovira and starts it. Until the main window
# exists, this shows the recalculated example plan with tovira-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --parallel
./build/src/tovira-cli show examples/006675.ini
