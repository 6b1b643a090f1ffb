#!/usr/bin/env bash
# Installs the Debian 12 packages Tovira needs to build, test, check and run.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  qt6-base-dev qt6-base-dev-tools libgl-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  clang-format clang-tidy \
  fonts-wqy-microhei xvfb xauth \
  qt6-translations-l10n dpkg-dev xdotool appstream desktop-file-utils \
  ca-certificates
