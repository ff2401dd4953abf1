#!/usr/bin/env bash
# Builds the program and runs it against the box simulator: the simulator
# makes two pseudo-terminals reachable as com3 (programming line) and com5
# (control line) in a port folder, and the program finds them there through
# TVBOX_PORT_DIR. Extra arguments go to the program (default: -a, which shows
# the register console). The working folder is data/, where the language
# files, the configuration lists, the help page, the pictures and a sample
# chipset file (sample.hv) live.
#
# The program's diagnostic trace (tens of thousands of lines for one burn)
# goes to trace.log beside the box images; --trace-on-terminal, given first,
# shows it on the terminal instead.
# Usage: scripts/run-with-simulator.sh [--trace-on-terminal] [program switches]
set -euo pipefail
trace_on_terminal=no
if [ "${1:-}" = "--trace-on-terminal" ]; then
  trace_on_terminal=yes
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release

ports=$(mktemp -d /tmp/tvbox-ports.XXXXXX)
images="$root/build/release/box-images"
mkdir -p "$images"
"$root/build/release/tools/tvbox-sim" --port-dir "$ports" --images "$images" &
sim=$!
# Every step of the clean-up may fail (the simulator may have ended first);
# none may stop the others, or the port folder would be left behind.
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$ports" || true' EXIT
for _ in $(seq 100); do [ -e "$ports/com3" ] && break; sleep 0.1; done

export TVBOX_PORT_DIR="$ports"
cd "$root/data"
args=("$@"); [ ${#args[@]} -eq 0 ] && args=(-a)
echo "Close the program's window (or choose Quit in its first menu) to end the run;"
echo "the simulated box then writes its memories to $images."
status=0
if [ "$trace_on_terminal" = yes ]; then
  "$root/build/release/src/tvbox" "${args[@]}" || status=$?
else
  trace="$images/trace.log"
  echo "The program's trace goes to $trace (--trace-on-terminal shows it here)."
  "$root/build/release/src/tvbox" "${args[@]}" >"$trace" || status=$?
fi
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
echo "The box's memories after the session are in $images"
exit "$status"
