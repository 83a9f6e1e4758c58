#!/usr/bin/env bash
# Line and branch coverage of the whole suite: builds every program and test
# with gcc --coverage into ./build-coverage, runs the suite there, and writes
#   build-coverage/coverage/index.html   the report, file by file, line by line
#   build-coverage/coverage/coverage.txt the table per room of src/ (logic and
#                                        windows apart) and the notes
# The notes (scripts/coverage-notes.txt) name the blocks that no test can
# reach and why; they are copied into the text report.
#   scripts/coverage.sh --per-test  instead writes which lines each test
#                                    program runs (coverage/per-test.json),
#                                    the map a mutation run chooses tests by
set -euo pipefail
per_test=0
if [ "${1:-}" = "--per-test" ]; then per_test=1; elif [ $# -gt 0 ]; then
  echo "usage: scripts/coverage.sh [--per-test]" >&2; exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-coverage
out=$build/coverage
"$root/scripts/deps.sh"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# -O0 keeps every line and branch where the source has it; the benchmarks and
# the package are not built (the suite's package test is left out below).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g" \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DZEP_SLOW_BUILD=ON "${launcher[@]}" >/dev/null
cd "$build"
mapfile -t tests < <(ctest -N | sed -n 's/^ *Test *#[0-9]*: *\([A-Za-z0-9_]*\)$/\1/p' | grep -v '^test_package$')
cmake --build "$build" -j "$(nproc)" --target gemray zepcmd zeptool zep "${tests[@]}"

# Counts of an earlier run would add to this one.
find "$build" -name '*.gcda' -delete
if [ $per_test -eq 1 ]; then
  mkdir -p "$out"
  exec python3 "$root/scripts/coverage_map.py" "$root" "$build" "$out/per-test.json"
fi
export QT_QPA_PLATFORM=offscreen
# Unoptimized programs are slower: the tests' waits for a program grow.
export ZEP_TEST_TIME_SCALE=6
export QTEST_FUNCTION_TIMEOUT=1800000
status=0
ctest --output-on-failure -j "$(nproc)" --timeout 1200 -E '^test_package$' || status=1

cd "$root"
mkdir -p "$out"
rm -f "$out"/*.html
# Counters that threads raced on (before -fprofile-update=atomic) are skipped, not fatal.
gcovr -r "$root" --filter "src/" --gcov-ignore-parse-errors \
  --exclude-unreachable-branches --exclude-throw-branches \
  --json "$out/coverage.json" --html-details "$out/index.html" "$build" >/dev/null
python3 "$root/scripts/coverage_rooms.py" "$root" "$build/compile_commands.json" "$out/coverage.json" \
  "$root/scripts/coverage-notes.txt" >"$out/coverage.txt"
cat "$out/coverage.txt"
echo "coverage: $out/index.html, $out/coverage.txt"
[ $status -eq 0 ] || echo "coverage: some tests failed (the figures count what ran)" >&2
exit $status
