#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# only those that are missing. Runs apt-get as root (directly or via sudo).
set -euo pipefail

packages=(
  g++ make cmake pkg-config
  libfox-1.6-dev zlib1g-dev nlohmann-json3-dev
  googletest libgtest-dev
  nlohmann-json3-dev
  xvfb xauth imagemagick fonts-dejavu-core
  xdg-utils gzip
  python3 xxd less  # scripts/check-examples.py runs the examples as written
  dpkg-dev file  # scripts/package.sh: CPack's Debian generator runs both
  python3-jsonschema jq  # the tests check tvbox-burn's JSON against its schemas
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
# sudo clears the environment, so the front end is set on its far side.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
