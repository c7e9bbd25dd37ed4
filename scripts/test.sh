#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite headless, and each fuzz target for a few seconds.
# The benchmarks are built too (not run), so that they keep up with the code.
# Any sanitizer report or crash fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-test"
"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=Debug -DSHIFTER_SANITIZE=ON -DSHIFTER_BUILD_TESTS=ON -DSHIFTER_BUILD_BENCH=ON
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# A few seconds of each fuzz target over its seeds (its own clang build).
"$here/scripts/fuzz.sh" --smoke
cd "$build"
ctest --output-on-failure --timeout 300 -j"$(nproc)"
