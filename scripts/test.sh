#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite headless, each fuzz target for a few seconds (the
# clang build, which builds every library, the emulator and the programs too),
# and the Windows cross build of the code that needs neither Qt nor hidapi.
# The benchmarks are built too (not run), so that they keep up with the code.
# Any sanitizer report, crash or compiler error fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh"
jobs=$(nproc)
[ -f build-test/build.ninja ] || cmake --preset test
cmake --build --preset test -j"$jobs"
# The portable code for Windows: a Linux-only call there fails the build.
[ -f build-windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
"$here/scripts/fuzz.sh" --smoke
ctest --preset test -j"$jobs"
