#!/usr/bin/env bash
# Builds and runs the whole test suite, GUI tests included. The GUI tests
# always run on an Xvfb of the suite's own, even from a desktop terminal:
# they open dozens of windows, and a desktop's window manager would both show
# them to the user and change how they are placed and painted.
# Usage: scripts/test.sh [release|asan|tsan]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$kind"

xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null || true' EXIT
# The first free display number whose Xvfb comes up; another one starting at
# the same moment may take a number first, so a failed start tries the next.
for n in $(seq 90 160); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=
done
if [ -z "$xvfb_pid" ]; then
  echo "test.sh: no Xvfb display could be started" >&2
  exit 1
fi

export TVBOX_TRACE=${TVBOX_TRACE:-0}
cd "$root/build/$kind"
if [ "$kind" = tsan ]; then
  # Under ThreadSanitizer: the layers with threads of their own, the burn
  # engine and the box link, and the burns driven through the window.
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
  ctest --output-on-failure --timeout 1800 -j2 -L 'burn|link'
  ctest --output-on-failure --timeout 1800 -R '^BurnGui\.'
else
  ctest --output-on-failure --timeout 900 -j2
fi
