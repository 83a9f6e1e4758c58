#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
cd "$root/build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" --timeout 600
