#!/usr/bin/env bash
# The checked build: every program and test built with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into ./build-check, the
# whole suite run under them, then each fuzz target fuzzed for
# ZEP_FUZZ_SECONDS (20 unless set). Any sanitizer report, in a test or in a
# program a test starts, fails the run.
#   scripts/sanitize.sh --quick  (CI) leaves out the two test programs of
#   whole optimizations (zeptool's and the library's, which the plain build
#   runs: ZEP_HEAVY_TESTS) and the fuzzing; the inputs each fuzz target keeps
#   are still run.
set -euo pipefail
quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; elif [ $# -gt 0 ]; then
  echo "usage: scripts/sanitize.sh [--quick]" >&2; exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-check
"$root/scripts/deps.sh"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# -O1 with the sanitizers builds faster than -O2 and runs fast enough; line
# tables are all a report's stack needs.
heavy=ON
[ $quick -eq 0 ] || heavy=OFF
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-gline-tables-only -O1" \
  -DZEP_FUZZ=ON -DZEP_HEAVY_TESTS=$heavy "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

reports=$build/sanitizer-reports
rm -rf "$reports" && mkdir -p "$reports"
export QT_QPA_PLATFORM=offscreen
# Programs run several times slower here: the tests' waits for a program
# grow by this factor.
export ZEP_TEST_TIME_SCALE=4
# and so may a test function (Qt Test's own bound is five minutes).
export QTEST_FUNCTION_TIMEOUT=1200000
# The three test functions that run ten optimizations and more (the public
# collection, a ranking compared job by job, a study run three ways) are left
# to the plain build; here the same code runs in the lighter functions.
export ZEP_TEST_SKIP_HEAVY=1
asan="abort_on_error=0:exitcode=86:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
ubsan="abort_on_error=0:exitcode=86:halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="$asan:log_path=$reports/report" UBSAN_OPTIONS="$ubsan:log_path=$reports/report"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitize-leaks.supp:print_suppressions=0"
cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" --timeout 1200 -LE fuzz || status=1
# Every report counts, also one from a program whose failure a test expected.
if compgen -G "$reports/report.*" >/dev/null; then
  echo "Sanitizer reports:"
  cat "$reports"/report.*
  status=1
fi
[ $status -eq 0 ] || exit $status
[ $quick -eq 0 ] || exit 0
# A fuzz run shows its report itself, beside the input it left.
export ASAN_OPTIONS=$asan UBSAN_OPTIONS=$ubsan
ctest --output-on-failure -j "$(nproc)" -L fuzz
