#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a while, starting
# from the seeds in tests/fuzz/corpus/<name>. Exits non-zero when any target
# finds a crash, a hang, a leak or a broken invariant; the input that did it is
# kept as build/fuzz/artifacts/<name>-crash-* (or -timeout-*, -leak-*).
# Usage: scripts/fuzz.sh [seconds-per-target, default 20]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
targets=(chipset_parser chipset_load control_decoder console_packets box_decoder catalogue hex_field)

"$root/scripts/install-deps.sh"
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DTVBOX_FUZZ=ON -DTVBOX_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

export TVBOX_TRACE=0
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
mkdir -p "$build/artifacts"
failed=()
for name in "${targets[@]}"; do
  echo "=== fuzzing $name for ${seconds} s"
  work="$build/corpus/$name"
  mkdir -p "$work"
  # New inputs go to the build folder's corpus; the committed seeds are only read.
  if ! "$build/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
      "$work" "$root/tests/fuzz/corpus/$name" >"$build/$name.log" 2>&1; then
    tail -n 40 "$build/$name.log"
    failed+=("$name")
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/$name.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts, logs in $build/<name>.log)"
  exit 1
fi
echo "Fuzzing found nothing in ${#targets[@]} targets."
