#!/usr/bin/env bash
# Builds the release tree and makes the Debian package from it; prints the
# package's path (build/release/tvbox_<version>_<arch>.deb). Install it with
#   sudo apt install ./build/release/tvbox_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release
cd "$root/build/release"
rm -f tvbox_*.deb
cpack -G DEB >/dev/null
ls "$PWD"/tvbox_*.deb
