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
#
# --boxes N (N up to 8) starts N simulated boxes, on com3, com4, com6, com7,
# ... (com5 is the first box's control line; the others' control lines are
# com25 and up, out of the way), for the burn tab's station: File > Add a
# box... takes each of them. Each box but the first writes its memories to
# box-images/<port>/.
# Usage: scripts/run-with-simulator.sh [--trace-on-terminal] [--boxes N] [program switches]
set -euo pipefail
trace_on_terminal=no
boxes=1
while [ $# -gt 0 ]; do
  case "$1" in
    --trace-on-terminal) trace_on_terminal=yes; shift ;;
    --boxes)
      boxes=${2:-}
      case "$boxes" in [1-8]) ;; *) echo "--boxes takes a number from 1 to 8" >&2; exit 2 ;; esac
      shift 2 ;;
    *) break ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release

ports=$(mktemp -d /tmp/tvbox-ports.XXXXXX)
images="$root/build/release/box-images"
mkdir -p "$images"
"$root/build/release/tools/tvbox-sim" --port-dir "$ports" --images "$images" &
sims=("$!")
for n in $(seq 2 "$boxes"); do
  port="com$((n == 2 ? 4 : n + 3))"
  mkdir -p "$images/$port"
  "$root/build/release/tools/tvbox-sim" --port-dir "$ports" --images "$images/$port" \
    --prog "$port" --ctrl "com$((n + 23))" &
  sims+=("$!")
done
stop_sims() {
  kill "${sims[@]}" 2>/dev/null || true
  wait "${sims[@]}" 2>/dev/null || true
}
# Every step of the clean-up may fail (a simulator may have ended first);
# none may stop the others, or the port folder would be left behind.
trap 'stop_sims; rm -rf "$ports" || true' EXIT
last="com$((boxes == 1 ? 3 : boxes == 2 ? 4 : boxes + 3))"
for _ in $(seq 100); do [ -e "$ports/com3" ] && [ -e "$ports/$last" ] && break; sleep 0.1; done

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
stop_sims
echo "The box's memories after the session are in $images"
exit "$status"
