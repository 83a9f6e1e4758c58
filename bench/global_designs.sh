#!/usr/bin/env bash
# The global search against the map and the plain optimization on every
# design of a folder (default: ../shared/designs beside this checkout) in
# Quartz and Corundum, with zeptool's default limits. Each row: the best cell
# of `zeptool map`, the climb of `zeptool optimize`, and the result of
# `zeptool optimize --global` (pavilion, crown, merit function), its
# evaluations, raytraces and seconds, and "ok" when the global result is at
# least both others. Not part of CI: it runs for a few minutes.
#   bench/global_designs.sh [DESIGNS_FOLDER] [MATERIAL...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/build/bin/zeptool"
designs=${1:-$root/../shared/designs}
shift || true
materials=("$@")
[ ${#materials[@]} -gt 0 ] || materials=(Quartz Corundum)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
field() { python3 -c 'import json,sys; d=json.load(sys.stdin); print(eval(sys.argv[1]))' "$1"; }

printf '%-22s %-9s %-24s %-24s %-24s %6s %6s %7s %s\n' design material "map best" "climb" "global" evals rays seconds check
status=0
for design in "$designs"/*.gem "$designs"/*.GEM "$designs"/*.asc; do
    [ -f "$design" ] || continue
    for material in "${materials[@]}"; do
        map=$("$tool" map "$design" --material "$material" -o "$work/m.MFM")
        map_mf=$(sed -n 's/^merit function.* to *\([0-9.]*\), best.*/\1/p' <<<"$map")
        map_at=$(sed -n 's/.*best at pavilion \([0-9.]*\), crown \([0-9.]*\)$/\1 \2/p' <<<"$map")
        climb=$("$tool" optimize "$design" --material "$material" --json |
            field '"%.3f %.3f %.4f" % (d["final"]["pav"], d["final"]["crn"], d["final"]["mf"])')
        global=$("$tool" optimize "$design" --material "$material" --global --json |
            field '"%.3f %.3f %.4f %d %d %.2f" % (d["final"]["pav"], d["final"]["crn"], d["final"]["mf"], d["evaluations"], d["raytraces"], d["seconds"])')
        read -r gp gc gmf ge gr gs <<<"$global"
        check=$(python3 -c 'import sys; g,m,c=map(float,sys.argv[1:]); print("ok" if g>=m and g>=c else "BELOW")' \
            "$gmf" "$map_mf" "${climb##* }")
        [ "$check" = ok ] || status=1
        printf '%-22s %-9s %-24s %-24s %-24s %6s %6s %7s %s\n' "$(basename "$design")" "$material" \
            "$map_at $map_mf" "$climb" "$gp $gc $gmf" "$ge" "$gr" "$gs" "$check"
    done
done
exit $status
