#!/usr/bin/env bash
# Configures and builds into build/<name> (default build/release).
# Usage: scripts/build.sh [release|asan|tsan]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
  release) flags=() ;;
  asan)    flags=(-DTVBOX_SANITIZE=ON -DTVBOX_BENCH=OFF) ;;
  tsan)    flags=(-DTVBOX_TSAN=ON -DTVBOX_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan|tsan]" >&2; exit 2 ;;
esac
# Installed through the Debian package: data under /usr/share/tvbox.
flags+=(-DCMAKE_INSTALL_PREFIX=/usr)
# A compiler cache, when the machine has one, makes rebuilds of other trees cheap.
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$root/build/$kind" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$root/build/$kind" -j"$(nproc)"
