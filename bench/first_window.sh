#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# What a newcomer waits for and what the window then costs, on an X server of
# its own (Xvfb), run by hand (not part of the test suite):
#
#   1. first window: from a fresh clone, the time `scripts/run.sh --demo` takes
#      until the window is mapped (configure, build, start), with the packages
#      already installed; then the rebuild after one of the window's files
#      changed;
#   2. start: the built window, from exec to mapped, five times;
#   3. memory: the window's peak resident size (VmHWM) after 20 s of the
#      demo's box streaming.
#
#   bench/first_window.sh [--commit REV] [--cache DIR] [--display :N] [--keep]
#
# Without --cache the compiler cache is off (CCACHE_DISABLE=1, no launcher), as
# on a fresh machine; with it, ccache keeps its files in DIR (empty: a cold
# cache; run again with the same DIR: a warm one). --commit measures another
# revision of this repository (default HEAD). Needs Xvfb, xdotool and time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
commit=HEAD
cache=
display=:15
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --commit) commit=$2; shift ;;
    --cache) cache=$(mkdir -p "$2" && cd "$2" && pwd); shift ;;
    --display) display=$2; shift ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '4,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
for tool in Xvfb xdotool /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install xvfb xdotool time" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$keep" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# -noreset: the server stays as it is when its last client goes away.
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

if [ -n "$cache" ]; then
  export CCACHE_DIR=$cache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$work
  unset CCACHE_DISABLE
else
  export CCACHE_DISABLE=1
  unset CMAKE_CXX_COMPILER_LAUNCHER
fi

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
# Waits for a mapped window of PID's program; prints nothing, fails after LIMIT s.
wait_mapped() {
  local pid=$1 limit=$2 start
  start=$(now)
  until xdotool search --onlyvisible --classname shiftercal >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "The window's program ended before its window was mapped" >&2; return 1; }
    [ "$(seconds "$start" "$(now)" | cut -d. -f1)" -lt "$limit" ] || { echo "No window after $limit s" >&2; return 1; }
    sleep 0.01
  done
}
# Ends PID and waits until the X server has taken its window away.
stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  while xdotool search --onlyvisible --classname shiftercal >/dev/null 2>&1; do sleep 0.02; done
}

git clone -q "$here" "$work/src"
git -C "$work/src" checkout -q "$commit"
echo "Revision: $(git -C "$work/src" log -1 --format='%h %s' | cut -c1-72)"
echo "Compiler cache: ${cache:-off}; load before: $(uptime | sed 's/.*load average: //')"

# The CPU time of the whole run (configure, build, the window's start) hardly
# depends on what else the machine does: on a quiet 2-core machine the wait is
# about half of it.
start=$(now)
/usr/bin/time -o "$work/cpu" -f "%U %S" "$work/src/scripts/run.sh" --demo >"$work/run.log" 2>&1 &
run=$!
pids+=($run)
wait_mapped "$run" 1800 || { tail -n 30 "$work/run.log" >&2; exit 1; }
echo "first window: $(seconds "$start" "$(now)") s (load after: $(uptime | sed 's/.*load average: //'))"
stop "$(xdotool search --onlyvisible --classname shiftercal getwindowpid | head -n 1)"
wait "$run" 2>/dev/null || true
# time's last line; a line before it says that the window was ended.
echo "CPU time of configure, build and start: $(tail -n 1 "$work/cpu" | awk '{ printf "%.1f", $1 + $2 }') s"

# The rebuild after a change to one of the window's files (code, not a
# comment, which a compiler cache would see through).
echo "static_assert(true);" >>"$work/src/app/GearView.cpp"
start=$(now)
"$work/src/scripts/run.sh" --demo >"$work/run.log" 2>&1 &
run=$!
pids+=($run)
wait_mapped "$run" 600 || { tail -n 30 "$work/run.log" >&2; exit 1; }
echo "window after a rebuild of one file: $(seconds "$start" "$(now)") s"
stop "$run"

exe="$work/src/build-release/app/shiftercal"
starts=()
for _ in 1 2 3 4 5; do
  start=$(now)
  "$exe" --demo >/dev/null 2>"$work/start.log" &
  run=$!
  pids+=($run)
  wait_mapped "$run" 60 || { cat "$work/start.log" >&2; exit 1; }
  starts+=("$(seconds "$start" "$(now)")")
  stop "$run"
done
echo "start to mapped window: ${starts[*]} s"

"$exe" --demo >/dev/null 2>"$work/memory.log" &
run=$!
pids+=($run)
wait_mapped "$run" 60 || { cat "$work/memory.log" >&2; exit 1; }
sleep 20
peak=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$run/status")
echo "peak memory after 20 s of --demo streaming: $peak MiB"
stop "$run"
