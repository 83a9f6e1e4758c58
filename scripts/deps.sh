#!/usr/bin/env bash
# Installs what building and testing ZEP needs, when it is missing (Debian, as root).
set -euo pipefail
pkgs=(build-essential cmake qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  pkg-config libgif-dev libwebp-dev # tilt movies: animated GIF and WebP
  dpkg-dev lintian desktop-file-utils # these three: building and checking the Debian package
  parallel # GNU parallel: design studies run as one command line per job
  libsqlite3-dev # the design library's database
  clang libclang-rt-14-dev # the checked build: sanitizers and libFuzzer (scripts/sanitize.sh)
  gcovr ccache lld) # scripts/coverage.sh; the compiler cache and the fast linker every build uses
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
