#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the builds need from Debian's packages (only what is missing);
# the builds themselves are the presets of CMakePresets.json.
#
#   scripts/setup.sh          everything scripts/test.sh needs: the tests, the
#                             fuzz targets (clang 14), the Windows cross build,
#                             the package and its checkers
#   scripts/setup.sh --run    only what the two programs need (scripts/run.sh)
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config qt6-base-dev libhidapi-dev libudev-dev)
case "${1:-}" in
  --run) ;;
  "")
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev umockdev libumockdev-dev
               clang-14 libclang-rt-14-dev g++-mingw-w64-x86-64)
    # The package and its checks: the manual pages' generator, the checkers.
    packages+=(dpkg-dev file help2man lintian desktop-file-utils appstream) ;;
  -h|--help) sed -n '4,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "scripts/setup.sh installs packages only; configure with \`cmake --preset NAME\` (CMakePresets.json)." >&2
     exit 2 ;;
esac
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
