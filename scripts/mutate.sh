#!/usr/bin/env bash
# A mutation run: plants one-line faults in a copy of the tree, one at a time,
# builds (into build-mutate/, with the compiler cache) only the test programs
# that should see each one, and runs them. The report of every survivor goes to
# build-mutate/report.txt.
#   scripts/mutate.sh [--sample N] [--seed S] [--room DIR] [--list] [--no-map]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
for tool in cmake python3; do
  command -v "$tool" >/dev/null || { echo "mutate: $tool is missing (scripts/deps.sh installs it)" >&2; exit 2; }
done
exec python3 "$root/scripts/mutate.py" "$@"
