#!/usr/bin/env bash
# Configures and builds ZEP, gemray and zepcmd into ./build: every target, or
# the ones named as arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
launcher=()
# A compiler cache, when the machine has one, shortens rebuilds.
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# Paths below the checkout are hashed as relative ones, so that the
# mutants' copy of the tree (build-mutate/) finds what this build compiled.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
# Line tables only: a backtrace names its lines, and the build takes a
# quarter less time than with full debugging information.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  "${launcher[@]}" >/dev/null
targets=()
if [ $# -gt 0 ]; then targets=(--target "$@"); fi
cmake --build "$root/build" -j "$(nproc)" "${targets[@]}"
