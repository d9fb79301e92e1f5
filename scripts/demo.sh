#!/usr/bin/env bash
# The main job, end to end: the publisher's side and the user's side of the example product
# Tarvo Notes.
#
#   scripts/demo.sh
#
# 1. tarvo-build packs the example's project folder into both installers:
#    build/dist/win32/tarvo-notes-setup.exe (the shipped, 32-bit one) and
#    build/dist/win64/tarvo-notes-setup.exe (the one this machine can run).
# 2. The 64-bit setup.exe installs Tarvo Notes silently under wine64, in a prefix of its own
#    (build/demo/wineprefix, made anew each time), as an administrator would deploy it.
# 3. What it installed is shown: the files, the shortcuts, the registry values, the uninstall
#    record that Windows' list of installed programs reads.
# Needs the three trees built (./dev build).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
demo=$root/build/demo

echo "== 1. tarvo-build packs the example (examples/notes)"
"$root/scripts/build-example.sh" win32 >/dev/null
"$root/scripts/build-example.sh" win64 | sed 's/^/   /'
file "$root"/build/dist/win*/tarvo-notes-setup.exe | sed "s|$root/||; s/^/   /"

echo "== 2. silent install under wine64: setup.exe --silent"
"$root/scripts/wine-env.sh" stop "$demo" >/dev/null 2>&1 || true
rm -rf "$demo"
mkdir -p "$demo"
"$root/scripts/wine-env.sh" start "$demo" >/dev/null
trap '"$root/scripts/wine-env.sh" stop "$demo" >/dev/null 2>&1 || true' EXIT
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh" env "$demo"
wine=$(tarvo_wine_bin)
setup="Z:${root//\//\\}\\build\\dist\\win64\\tarvo-notes-setup.exe"
rc=0
"$wine" "$setup" --silent </dev/null >/dev/null 2>&1 || rc=$?
echo "   exit code: $rc (0: installed)"

c=$WINEPREFIX/drive_c
echo "== 3. what it installed"
echo "-- files (C:\\Program Files\\Tarvo Notes)"
find "$c/Program Files/Tarvo Notes" -type f -printf '   %10s  %f\n' | sort -k2
echo "-- shortcuts"
find "$c" -name 'Tarvo Notes.lnk' -printf 'C:/%P\n' 2>/dev/null | sed 's|/|\\|g; s/^/   /'
reg_query() {
  echo "-- $1"
  "$wine" reg query "$1" </dev/null 2>/dev/null | tr -d '\r' | grep -v '^$' | sed '1d; s/^ */   /'
}
reg_query 'HKLM\Software\Tarvo Notes'
reg_query 'HKCU\Software\Tarvo Notes'
reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\notes.exe'
reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvo Notes'
echo "-- the uninstaller and the data file (C:\\windows\\system32)"
find "$c/windows/system32" -maxdepth 1 -name 'TarvoUninstall*' -printf '   %10s  %f\n' | sort -k2
echo "== Tarvo Notes is installed in build/demo/wineprefix; its QuietUninstallString above removes it again"
exit "$rc"
