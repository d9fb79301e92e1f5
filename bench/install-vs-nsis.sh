#!/usr/bin/env bash
# Installing with our setup.exe against an NSIS 3 installer of the same files, under wine64, in
# one run:
#
#   bench/install-vs-nsis.sh [--rounds N] [--count N] [--window-mb N] [--work DIR]
#
# 1. Silent install of the package benchmark's payload (the --count (300) largest DLLs of at most
#    2 MiB that wine64 installs, about 210 MB): ours "setup.exe --silent --installto=C:\..." against
#    theirs "setup.exe /S /D=C:\...". Both installers are 64-bit (this machine runs no 32-bit
#    code): ours on build/dist/win64/tarvo-setup.exe, theirs "Target amd64-unicode" with non-solid
#    LZMA, an 8 MiB dictionary, an uninstaller and an Uninstall key (what ours leaves too: the
#    record, the data file, the uninstaller in the system folder). Wall time from start to exit,
#    the median of --rounds (3) alternating runs, each into a folder that does not exist yet.
#    Target: ours/theirs at most 0.8.
# 2. Time from start to the first visible window for a package of about --window-mb (50) MB
#    (the largest of the same DLLs until the sum reaches it), both installers started without
#    switches; the window is seen by tarvo-uidriver.exe waiting for the product name in a caption.
#    The median of --rounds runs; the installers are ended once their window shows.
#
# Every run of both tools happens in one wine prefix (WORK/wineprefix) with a warm wineserver and
# its own Xvfb display, after one unmeasured warm-up run of each. Needs the win64 and native trees
# built (./dev build) and nsis (scripts/bootstrap.sh).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
payload_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
builder=$root/build/dist/linux/tarvo-build
stub=$root/build/dist/win64/tarvo-setup.exe
driver=$root/build/dist/win64/tarvo-uidriver.exe
rounds=3
count=300
window_mb=50
max_size=$((2 * 1024 * 1024))
work=$root/build/bench/install-vs-nsis

usage() {
  sed -n '4,5p' "${BASH_SOURCE[0]}" | sed 's/^# //' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --window-mb) window_mb=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) usage ;;
  esac
done

for f in "$builder" "$stub" "$driver"; do
  [ -f "$f" ] || { echo "install-vs-nsis: $f is missing (./dev build)" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "install-vs-nsis: makensis is missing (scripts/bootstrap.sh installs nsis)" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"

# $1: folder, $2: product name, $3: list of "size name" lines. Writes both projects' sources.
make_projects() {
  local dir=$1 name=$2 list=$3
  mkdir -p "$dir/files"
  {
    printf '[Project Name]\r\n%s\r\n\r\n[Install To]\r\n<Program Files>\\%s\r\n\r\n' "$name" "$name"
    while read -r _ file; do
      ln -s "$payload_dir/$file" "$dir/files/$file"
      printf '[CopyFile]\r\nfiles\\%s\r\n<Destination>\\%s\r\n\r\n' "$file" "$file"
    done <"$list"
  } >"$dir/setup.dat"
  {
    cat <<NSI
Unicode true
Target amd64-unicode
SetCompressor /FINAL lzma
SetCompressorDictSize 8
Name "$name"
OutFile "nsis-setup.exe"
RequestExecutionLevel admin
InstallDir "\$PROGRAMFILES64\\$name"
Page directory
Page instfiles
Section
SetOutPath "\$INSTDIR"
NSI
    while read -r _ file; do printf 'File "files/%s"\n' "$file"; done <"$list"
    cat <<NSI
WriteUninstaller "\$INSTDIR\\uninstall.exe"
WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$name" "DisplayName" "$name"
WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$name" "UninstallString" "\$INSTDIR\\uninstall.exe"
SectionEnd
Section Uninstall
RMDir /r "\$INSTDIR"
SectionEnd
NSI
  } >"$dir/bench.nsi"
  "$builder" build "$dir" -o "$dir/ours-setup.exe" --stub "$stub" >"$dir/ours.log"
  (cd "$dir" && makensis -V1 bench.nsi >"$dir/nsis.log")
}

# The payloads, chosen the same way on every machine with the same wine64.
find "$payload_dir" -maxdepth 1 -type f -name '*.dll' -size -$((max_size + 1))c -printf '%s %f\n' |
  LC_ALL=C sort -k1,1nr -k2,2 >"$work/all.txt"
head -n "$count" "$work/all.txt" | LC_ALL=C sort -k2,2 >"$work/payload.txt"
awk -v limit=$((window_mb * 1024 * 1024)) 's < limit {print; s += $1}' "$work/all.txt" >"$work/window.txt"
[ -s "$work/payload.txt" ] || { echo "install-vs-nsis: no DLL in $payload_dir" >&2; exit 1; }

echo "building the installers..."
make_projects "$work/silent" "Install benchmark" "$work/payload.txt"
make_projects "$work/window" "Window benchmark" "$work/window.txt"

"$root/scripts/wine-env.sh" start "$work" >/dev/null
trap '"$root/scripts/wine-env.sh" stop "$work" >/dev/null 2>&1 || true' EXIT
# shellcheck source=../scripts/wine-env.sh
. "$root/scripts/wine-env.sh" env "$work"
wine=$(tarvo_wine_bin)
drive_c=$WINEPREFIX/drive_c

now() { date +%s.%N; }
winpath() { echo "Z:${1//\//\\}"; }
median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
ratio() { echo "$1 $2" | awk '{printf "%.3f", $1 / $2}'; }
verdict() { echo "$1 $2" | awk '{print ($1 <= $2 ? "met" : "MISSED")}'; }

# One silent install; prints its wall time. $1: ours|nsis, $2: target folder name under C:\.
silent_install() {
  local who=$1 folder=$2 t0 t1 rc
  rm -rf "${drive_c:?}/$folder"
  t0=$(now)
  if [ "$who" = ours ]; then
    "$wine" "$(winpath "$work/silent/ours-setup.exe")" --silent "--installto=C:\\$folder" >/dev/null 2>&1 && rc=0 || rc=$?
  else
    "$wine" "$(winpath "$work/silent/nsis-setup.exe")" /S "/D=C:\\$folder" >/dev/null 2>&1 && rc=0 || rc=$?
  fi
  t1=$(now)
  if [ "$rc" -ne 0 ]; then
    echo "install-vs-nsis: $who exited with $rc" >&2
    exit 1
  fi
  local placed
  placed=$(find "$drive_c/$folder" -maxdepth 1 -name '*.dll' | wc -l)
  if [ "$placed" -ne "$(wc -l <"$work/payload.txt")" ]; then
    echo "install-vs-nsis: $who placed $placed of $(wc -l <"$work/payload.txt") files" >&2
    exit 1
  fi
  echo "$t1 $t0" | awk '{printf "%.3f\n", $1 - $2}'
}

# Start to the first visible window; prints the time. $1: ours|nsis.
first_window() {
  local who=$1 exe t0 t1 pid
  exe=$work/window/$who-setup.exe
  t0=$(now)
  "$wine" "$(winpath "$exe")" >/dev/null 2>&1 &
  pid=$!
  "$wine" "$(winpath "$driver")" wait "Window benchmark" 120000 >/dev/null 2>&1 ||
    { echo "install-vs-nsis: no window from $who" >&2; exit 1; }
  t1=$(now)
  # Both processes of ours (the launcher and the installer it started) and theirs go.
  pkill -f "window.$who-setup.exe" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  while pgrep -f "window.$who-setup.exe" >/dev/null; do sleep 0.1; done
  echo "$t1 $t0" | awk '{printf "%.3f\n", $1 - $2}'
}

echo "payload: $(wc -l <"$work/payload.txt") DLLs, $(awk '{s += $1} END {print s}' "$work/payload.txt") bytes; window package: $(wc -l <"$work/window.txt") DLLs, $(awk '{s += $1} END {print s}' "$work/window.txt") bytes"
echo "installers: ours $(stat -c %s "$work/silent/ours-setup.exe") bytes, NSIS $(stat -c %s "$work/silent/nsis-setup.exe") bytes"
echo "machine: $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Unmeasured warm-up: the files in the page cache, wine's DLLs loaded once.
cat "$work"/silent/*.exe "$work"/window/*.exe >/dev/null
silent_install ours warm-ours >/dev/null
silent_install nsis warm-nsis >/dev/null
rm -rf "$drive_c/warm-ours" "$drive_c/warm-nsis"

: >"$work/silent-ours.txt"
: >"$work/silent-nsis.txt"
: >"$work/window-ours.txt"
: >"$work/window-nsis.txt"
for round in $(seq 1 "$rounds"); do
  silent_install ours "bench-ours-$round" >>"$work/silent-ours.txt"
  silent_install nsis "bench-nsis-$round" >>"$work/silent-nsis.txt"
  rm -rf "$drive_c/bench-ours-$round" "$drive_c/bench-nsis-$round"
done
first_window ours >/dev/null
first_window nsis >/dev/null
for round in $(seq 1 "$rounds"); do
  first_window ours >>"$work/window-ours.txt"
  first_window nsis >>"$work/window-nsis.txt"
done

ours_silent=$(median <"$work/silent-ours.txt")
nsis_silent=$(median <"$work/silent-nsis.txt")
ours_window=$(median <"$work/window-ours.txt")
nsis_window=$(median <"$work/window-nsis.txt")
silent_ratio=$(ratio "$ours_silent" "$nsis_silent")
echo "silent install (s), ours: $(paste -sd' ' "$work/silent-ours.txt"); NSIS: $(paste -sd' ' "$work/silent-nsis.txt")"
echo "silent install, median ours/theirs: $ours_silent / $nsis_silent = $silent_ratio (target <= 0.80: $(verdict "$silent_ratio" 0.80))"
echo "first window (s), ours: $(paste -sd' ' "$work/window-ours.txt"); NSIS: $(paste -sd' ' "$work/window-nsis.txt")"
echo "first window, median ours: $ours_window s, NSIS: $nsis_window s, ours/theirs: $(ratio "$ours_window" "$nsis_window")"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
