#!/usr/bin/env bash
# What the results of many designs can lose when cut: `zeptool study` of every
# design of a folder (default: tests/data/designs/public-domain) in one
# material (default Quartz), once plain and once robust at a cutting
# tolerance (default 0.1). For each: how many results, the median and the
# worst loss of a result's worst case within the tolerance against the result
# itself, and the median merit function; then the robust result's own merit
# function against the plain one (median and worst). Not part of CI: two
# studies of 80 designs take some minutes on two cores.
#   bench/robust_designs.sh [DESIGNS_FOLDER] [MATERIAL] [TOLERANCE] [JOBS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/bin/zeptool"
designs=${1:-$root/tests/data/designs/public-domain}
material=${2:-Quartz}
tolerance=${3:-0.1}
jobs=${4:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=()
for f in "$designs"/*.gem "$designs"/*.GEM "$designs"/*.asc; do [ -f "$f" ] && files+=("$f"); done
SECONDS=0
"$tool" study "${files[@]}" --materials "$material" -j "$jobs" --csv "$work/plain.csv" >/dev/null 2>&1 || true
plain_seconds=$SECONDS
SECONDS=0
"$tool" study "${files[@]}" --materials "$material" -j "$jobs" --tolerance "$tolerance" --csv "$work/robust.csv" \
    >/dev/null 2>&1 || true
robust_seconds=$SECONDS
python3 - "$work/plain.csv" "$work/robust.csv" "$plain_seconds" "$robust_seconds" <<'PY'
import csv, statistics, sys
def rows(path):
    out = {}
    for r in csv.DictReader(open(path, newline='')):
        if r['error'] or not r['margin_worst']:
            continue
        out[r['design']] = (float(r['final_mf']), float(r['margin_worst']))
    return out
plain, robust = rows(sys.argv[1]), rows(sys.argv[2])
both = sorted(set(plain) & set(robust))
for name, table, seconds in (('plain', plain, sys.argv[3]), ('robust', robust, sys.argv[4])):
    loss = [100 * (w - mf) / mf for mf, w in (table[d] for d in both)]
    print(f'{name}_results: {len(table)}')
    print(f'{name}_median_margin_percent: {statistics.median(loss):.1f}')
    print(f'{name}_worst_margin_percent: {min(loss):.1f}')
    print(f'{name}_median_mf: {statistics.median(table[d][0] for d in both):.2f}')
    print(f'{name}_median_worst: {statistics.median(table[d][1] for d in both):.2f}')
    print(f'{name}_seconds: {seconds}')
own = [100 * (robust[d][0] - plain[d][0]) / plain[d][0] for d in both]
gain = [100 * (robust[d][1] - plain[d][1]) / plain[d][1] for d in both]
print(f'designs_in_both: {len(both)}')
print(f'robust_own_mf_vs_plain_median_percent: {statistics.median(own):.1f}')
print(f'robust_own_mf_vs_plain_worst_percent: {min(own):.1f}')
print(f'robust_worst_case_vs_plain_median_percent: {statistics.median(gain):.1f}')
print(f'robust_worst_case_below_plain: {sum(1 for g in gain if g < 0)}')
PY
