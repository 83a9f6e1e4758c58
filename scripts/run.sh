#!/usr/bin/env bash
# Installs what is missing, builds ZEP and starts it. ZEP keeps its working
# folder "ZEPWork" in the folder it is started from: here, ./run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
mkdir -p "$root/run"
cd "$root/run"
exec "$root/build/bin/zep"
