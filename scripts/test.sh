#!/usr/bin/env bash
# Builds and runs the whole test suite, GUI tests included. Without a
# display, the GUI tests get their own Xvfb.
# Usage: scripts/test.sh [release|asan|tsan]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$kind"

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    break
  done
fi
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null || true' EXIT

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
