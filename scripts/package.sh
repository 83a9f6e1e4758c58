#!/usr/bin/env bash
# Installs what is missing, builds ZEP's programs and its Debian package
# zep_<version>_<arch>.deb in the checkout's top folder. Install it with
#   apt install ./zep_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" zep gemray zepcmd zeptool zep_package_docs
cpack -G DEB --config "$root/build/CPackConfig.cmake" -B "$root/build/package" >/dev/null
mv -f "$root"/build/package/zep_*.deb "$root/"
ls "$root"/zep_*.deb
