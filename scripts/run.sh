#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the window (the release preset, build-release/) and runs it; arguments
# go to the tool (--demo, ...). shifterctl: cmake --build --preset release.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh" --run
# Configured once; the build itself re-runs CMake when a CMakeLists.txt changes.
[ -f build-release/build.ninja ] || cmake --preset release >/dev/null
cmake --build --preset window -j"$(nproc)"
exec "$here/build-release/app/shiftercal" "$@"
