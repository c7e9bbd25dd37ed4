#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the window and shifterctl (release) and runs the window; arguments go to the tool (--demo, ...).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-release"
"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DSHIFTER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target shiftercal shifterctl -j"$(nproc)"
wants_window=1
for a in "$@"; do case "$a" in --help|-h|--version) wants_window=0 ;; esac; done
if [ "$wants_window" = 1 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: run this from a desktop session (or set QT_QPA_PLATFORM=offscreen)." >&2
  exit 1
fi
exec "$build/app/shiftercal" "$@"
