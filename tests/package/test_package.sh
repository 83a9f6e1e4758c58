#!/usr/bin/env bash
# The Debian package of the build, installed nowhere: built with cpack into a
# temporary folder, listed and extracted with dpkg-deb, its programs run there.
# Usage: test_package.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
debs=("$tmp"/pkg/zep_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single zep_*.deb: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

# Contents and control fields.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$tmp/list"
for f in /usr/bin/zep /usr/bin/gemray /usr/bin/zepcmd /usr/bin/zeptool /usr/libexec/zep/zep-desktop \
  /usr/share/applications/zep.desktop /usr/share/icons/hicolor/scalable/apps/zep.svg \
  /usr/share/icons/hicolor/256x256/apps/zep.png /usr/share/man/man1/zep.1.gz /usr/share/man/man1/gemray.1.gz \
  /usr/share/man/man1/zeptool.1.gz /usr/share/man/man1/zepcmd.1.gz /usr/share/doc/zep/copyright \
  /usr/share/doc/zep/changelog.gz /usr/share/zep/designs/SRB.gem /usr/share/zep/designs/Turkey.gem \
  /usr/share/zep/designs/Compear125.gem /usr/share/zep/designs/CubeIllusionTri.gem; do
  grep -qx "$f" "$tmp/list" || fail "the package lacks $f"
done
grep -v '^/usr/\(bin\|libexec\|share\)\(/\|$\)\|^/usr/$' "$tmp/list" | grep . && fail "files outside /usr/bin, /usr/libexec, /usr/share"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libgif7 libwebpmux3; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
designs=$root/usr/share/zep/designs

# The menu entry starts the packaged launcher and names the packaged icon.
entry=$root/usr/share/applications/zep.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = /usr/libexec/zep/zep-desktop ] || fail "Exec=$exec_line"
grep -qx 'Icon=zep' "$entry" || fail "the menu entry names no icon zep"
# PNG: the width and height (bytes 17 to 24) of its header.
[ "$(od -An -tx1 -j16 -N8 "$root/usr/share/icons/hicolor/256x256/apps/zep.png" | tr -d ' \n')" = 0000010000000100 ] ||
  fail "zep.png is not 256 x 256"

# The launcher creates ~/ZEP and starts the zep beside it there.
mkdir -p "$tmp/fake/libexec/zep" "$tmp/fake/bin" "$tmp/home"
cp "$root/usr/libexec/zep/zep-desktop" "$tmp/fake/libexec/zep/"
printf '#!/bin/sh\npwd >"$HOME/started-in"\n' >"$tmp/fake/bin/zep"
chmod +x "$tmp/fake/bin/zep"
(cd / && HOME=$tmp/home "$tmp/fake/libexec/zep/zep-desktop") || fail "the launcher failed"
[ "$(cat "$tmp/home/started-in" 2>/dev/null)" = "$tmp/home/ZEP" ] || fail "the launcher did not start zep in ~/ZEP"

# The packaged gemray writes what the built one writes.
mkdir -p "$tmp/run/packaged" "$tmp/run/built"
(cd "$tmp/run/packaged" && "$root/usr/bin/gemray" -p 41.5 42.3 -c 28 31 -g "$designs/SRB.gem" R C I) ||
  fail "the packaged gemray failed"
(cd "$tmp/run/built" && "$build/bin/gemray" -p 41.5 42.3 -c 28 31 -g "$designs/SRB.gem" R C I)
for f in R C I Gemray.log; do
  cmp -s "$tmp/run/packaged/$f" "$tmp/run/built/$f" || fail "the packaged gemray's $f differs from the built one's"
done

# The packaged zeptool: a sample design's text export, and an optimization
# that runs the gemray beside it.
(cd "$tmp/run" && "$root/usr/bin/zeptool" angles "$designs/SRB.gem" --asc | cmp -s - "$designs/SRB.asc") ||
  fail "zeptool angles --asc of SRB.gem is not SRB.asc"
json=$(cd "$tmp/run" && "$root/usr/bin/zeptool" optimize "$designs/SRB.gem" --old 41.5 28 --material Quartz \
  --crn-limits 20 45 --json) || fail "zeptool optimize failed"
[[ $json == *'"final":{"pav":45.98'* ]] || fail "zeptool optimize: $json"

# Each manual page names every option and command of its program's help,
# and man shows it without a warning.
page() { gzip -dc "$root/usr/share/man/man1/$1.1.gz" | sed 's/\\-/-/g'; }
check_page() {
  local name=$1 help=$2 text words
  text=$(page "$name")
  words=$(grep -oE '(^|[][ |])--?[a-z][a-z-]*' <<<"$help" | sed 's/^[][ |]*//' | sort -u)
  [ -n "$words" ] || fail "no option found in $name's help"
  for w in $words; do
    grep -qE -- "(^|[^a-z-])$w([^a-z-]|\$)" <<<"$text" || fail "the $name page lacks $w"
  done
}
check_page gemray "$("$root/usr/bin/gemray" --help)"
zeptool_help=$("$root/usr/bin/zeptool" help)
check_page zeptool "$zeptool_help"
zeptool_page=$(page zeptool)
for c in $(sed -n 's/^  zeptool \([a-z]*\) .*/\1/p' <<<"$zeptool_help"); do
  grep -q "^\.B.* $c\b" <<<"$zeptool_page" || fail "the zeptool page lacks the command $c"
done
for want in "zep ZEPResult.txt" "zep \.asc" "gemray \.asc"; do
  page "${want% *}" | grep -q -- "${want#* }" || fail "the ${want% *} page does not name ${want#* }"
done
if command -v groff >/dev/null; then
  for p in zep gemray zeptool zepcmd; do
    out=$(gzip -dc "$root/usr/share/man/man1/$p.1.gz" | groff -man -ww -z 2>&1) && [ -z "$out" ] ||
      fail "groff on $p.1: $out"
  done
fi

# The checkers, when the machine has them.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate"
else
  echo "desktop-file-validate not installed: not run"
fi
if command -v lintian >/dev/null; then
  rc=0
  out=$(lintian --fail-on error "$deb" 2>&1) || rc=$?
  grep -v 'running with root privileges' <<<"$out" || true
  [ $rc -eq 0 ] || fail "lintian reports an error"
else
  echo "lintian not installed: not run"
fi

[ $failures -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "package $(basename "$deb"): all checks passed"
