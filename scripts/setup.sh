#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the build needs from Debian's packages (only what is missing)
# and configures a build directory. Usage: scripts/setup.sh BUILD_DIR [cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libhidapi-dev libudev-dev
          libgtest-dev libgmock-dev libbenchmark-dev umockdev libumockdev-dev
          dpkg-dev file clang-14 libclang-rt-14-dev)
# The package test: its checkers and the manual pages' generator.
packages+=(lintian desktop-file-utils appstream help2man)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -G Ninja "$@"
