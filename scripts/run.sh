#!/usr/bin/env bash
# Installs what is missing, builds ZEP when its sources changed, and starts
# it. ZEP keeps its working folder "ZEPWork" in the folder it is started
# from: here, ./run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "ZEP is a desktop program and needs a desktop session (DISPLAY is not set)." >&2
  echo "On a machine without one, run it on a virtual screen: see \"Without a desktop\" in README.md." >&2
  exit 1
fi
"$root/scripts/deps.sh"
# A build only when a program is missing or a source is newer than it.
bin="$root/build/bin"
stale=no
for p in zep gemray zepcmd; do
  if [ ! -x "$bin/$p" ] || [ -n "$(find "$root/src" "$root/CMakeLists.txt" -newer "$bin/$p" -print -quit)" ]; then
    stale=yes
  fi
done
if [ "$stale" = yes ]; then
  "$root/scripts/build.sh" zep gemray zepcmd
fi
mkdir -p "$root/run"
cd "$root/run"
exec "$bin/zep"
