#!/usr/bin/env bash
# Installs the packages, builds Tovira and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --parallel
exec ./build/bin/tovira "$@"
