#!/usr/bin/env bash
# Fuzzes one target for ZEP_FUZZ_SECONDS (20 unless set), bounded in memory
# and in the time one input may take; fails on a crash, a sanitizer report,
# a slow input or a memory runaway, leaving the input in WORK/found/.
#   run.sh TARGET WORK CORPUS...
set -euo pipefail
bin=$1 work=$2
shift 2
mkdir -p "$work/corpus" "$work/found"
exec "$bin" -max_total_time="${ZEP_FUZZ_SECONDS:-20}" -rss_limit_mb="${ZEP_FUZZ_RSS_MB:-1024}" -timeout=10 \
  -artifact_prefix="$work/found/" -print_final_stats=1 "$work/corpus" "$@"
