#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each over its
# seed corpus, fuzz/corpus/<target>/. A crash or a broken invariant fails the
# run; libFuzzer's report names the input, kept in build-fuzz/artifacts/.
#
#   scripts/fuzz.sh --smoke                a few seconds per target (scripts/test.sh runs this);
#                                          inputs it finds go to a temporary folder
#   scripts/fuzz.sh [TARGET...] [-- ARG...]
#                                          by hand, e.g. -- -runs=10000000 (one job, one target
#                                          after the other); inputs it finds are kept in
#                                          build-fuzz/corpus/<target>/, never in the repository
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-fuzz"
all=(report_descriptor update_answer update_query threshold_text monitor_batch calibration_file store_name cli_args)

smoke=0
chosen=()
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '4,13p' "$0" | sed 's/^# \{0,1\}//'; echo "Targets: ${all[*]}"; exit 0 ;;
    *) chosen+=("${1#fuzz_}") ;;
  esac
  shift
done
[ ${#chosen[@]} -gt 0 ] || chosen=("${all[@]}")
for t in "${chosen[@]}"; do
  [ -d "$here/fuzz/corpus/$t" ] || { echo "No fuzz target $t (targets: ${all[*]})" >&2; exit 2; }
done

"$here/scripts/setup.sh"
# The fuzz preset's clang build: every library, the emulator and the programs
# too, so that the code keeps building with clang as well as with GCC.
[ -f "$build/build.ninja" ] || (cd "$here" && cmake --preset fuzz >/dev/null)
(cd "$here" && cmake --build --preset fuzz -j"$(nproc)")

export QT_QPA_PLATFORM=offscreen
# Freed memory waits 64 MB in quarantine, not 256: use-after-free is still
# caught, and a long run of Qt strings stays far below libFuzzer's 2 GB limit.
export ASAN_OPTIONS="quarantine_size_mb=64:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$here/fuzz/lsan.supp:${LSAN_OPTIONS:-}"
mkdir -p "$build/artifacts"
if [ "$smoke" = 1 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

failed=()
for t in "${chosen[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  seeds="$here/fuzz/corpus/$t"
  common=(-artifact_prefix="$build/artifacts/$t-" -print_final_stats=1)
  [ -f "$here/fuzz/$t.dict" ] && common+=(-dict="$here/fuzz/$t.dict")
  if [ "$smoke" = 1 ]; then
    mkdir -p "$work/$t"
    # The first folder takes what the run finds; the seeds are only read.
    if "$exe" "${common[@]}" -max_total_time=3 "$work/$t" "$seeds" >"$work/$t.log" 2>&1; then
      echo "fuzz $t: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/$t.log" | grep -o '[0-9]*$') runs, no crash"
    else
      cat "$work/$t.log"
      echo "fuzz $t: FAILED" >&2
      failed+=("$t")
    fi
  else
    mkdir -p "$build/corpus/$t"
    echo "== fuzz $t"
    "$exe" "${common[@]}" "${extra[@]}" "$build/corpus/$t" "$seeds" || failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
