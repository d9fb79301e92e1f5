#!/usr/bin/env bash
# Package size and build time of tarvo-build against NSIS 3 on the same real Windows binaries,
# in one run:
#
#   bench/package-vs-nsis.sh [--builder PATH] [--stub PATH] [--count N] [--max-size BYTES]
#                            [--threads N] [--work DIR]
#
# Payload: the N (300) largest DLLs of at most --max-size (2 MiB) bytes that wine64 installs in
# /usr/lib/x86_64-linux-gnu/wine/x86_64-windows, ties broken by name: about 210 MB of real
# x86_64 code and resources. Both tools get the same project folder of links to those files:
#   - ours: setup.dat with one [CopyFile] per file, packed by `tarvo-build build` (into --stub,
#     else into build/dist/win32/tarvo-setup.exe when it exists, else the bare package, --raw);
#   - theirs: an NSIS script with one File per file, Unicode, "Target amd64-unicode",
#     "SetCompressor /FINAL lzma" (non-solid: each file its own LZMA stream), 8 MiB dictionary.
# Both builds run one after the other with the files in the page cache, each timed by wall clock.
#
# Figures: the package (our archive; theirs: the NSIS installer less an empty installer built
# with the same settings, i.e. less its stub and header), the whole installers when we have a
# stub, and the build times, each as ours over theirs. Targets: size at most 1.00x, build time
# at most 0.5x on the 2-core machine.
#
# Installs nothing: scripts/bootstrap.sh brings wine64 (the payload) and nsis (makensis). The
# native tarvo-build is built from the native preset when it is missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
payload_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
builder=$root/build/dist/linux/tarvo-build
stub=
count=300
max_size=$((2 * 1024 * 1024))
threads=
work=$root/build/bench/package-vs-nsis

usage() {
  sed -n '4,5p' "${BASH_SOURCE[0]}" | sed 's/^# //' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --builder) builder=$2; shift 2 ;;
    --stub) stub=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --max-size) max_size=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) usage ;;
  esac
done

command -v makensis >/dev/null || { echo "package-vs-nsis: makensis is missing (scripts/bootstrap.sh installs nsis)" >&2; exit 1; }
[ -d "$payload_dir" ] || { echo "package-vs-nsis: $payload_dir is missing (scripts/bootstrap.sh installs wine64)" >&2; exit 1; }
if [ ! -x "$builder" ]; then
  native=$root/build/native
  [ -f "$native/CMakeCache.txt" ] || (cd "$root" && cmake --preset native -B "$native" >/dev/null)
  cmake --build "$native" --target tarvo-build >/dev/null
fi
if [ -z "$stub" ] && [ -f "$root/build/dist/win32/tarvo-setup.exe" ]; then
  stub=$root/build/dist/win32/tarvo-setup.exe
fi

# The payload, chosen the same way on every machine with the same wine64.
rm -rf "$work"
mkdir -p "$work/project/files"
find "$payload_dir" -maxdepth 1 -type f -name '*.dll' -size -$((max_size + 1))c -printf '%s %f\n' |
  LC_ALL=C sort -k1,1nr -k2,2 | head -n "$count" | LC_ALL=C sort -k2,2 >"$work/payload.txt"
files=$(wc -l <"$work/payload.txt")
bytes=$(awk '{s += $1} END {print s}' "$work/payload.txt")
[ "$files" -gt 0 ] || { echo "package-vs-nsis: no DLL in $payload_dir" >&2; exit 1; }

# The project folder: links to the files, our script, and the NSIS script of the same content.
{
  printf '[Project Name]\r\nPackage benchmark\r\n\r\n[Install To]\r\n<Program Files>\\Package benchmark\r\n\r\n'
  while read -r _ name; do
    ln -s "$payload_dir/$name" "$work/project/files/$name"
    printf '[CopyFile]\r\nfiles\\%s\r\n<Destination>\\%s\r\n\r\n' "$name" "$name"
  done <"$work/payload.txt"
} >"$work/project/setup.dat"

nsis_header() {
  cat <<NSI
Unicode true
Target amd64-unicode
SetCompressor /FINAL lzma
SetCompressorDictSize 8
Name "Package benchmark"
OutFile "$1"
RequestExecutionLevel admin
InstallDir "\$PROGRAMFILES64\\Package benchmark"
Page directory
Page instfiles
Section
SetOutPath "\$INSTDIR"
NSI
}
{
  nsis_header nsis-setup.exe
  while read -r _ name; do printf 'File "files/%s"\n' "$name"; done <"$work/payload.txt"
  echo SectionEnd
} >"$work/project/bench.nsi"
{
  nsis_header nsis-empty.exe
  echo SectionEnd
} >"$work/project/empty.nsi"

# Both read the files from the page cache, not from the disk.
cat "$work"/project/files/* >/dev/null

now() { date +%s.%N; }

ours_out=$work/ours.bin
ours_args=(build "$work/project" -o "$ours_out" --raw)
if [ -n "$stub" ]; then
  ours_out=$work/setup.exe
  ours_args=(build "$work/project" -o "$ours_out" --stub "$stub")
fi
[ -n "$threads" ] && ours_args+=(--threads "$threads")

echo "payload: $files DLLs, $bytes bytes, from $payload_dir"
echo "machine: $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

t0=$(now)
"$builder" "${ours_args[@]}" >"$work/ours.log"
t1=$(now)
(cd "$work/project" && makensis -V1 bench.nsi >"$work/nsis.log")
t2=$(now)
(cd "$work/project" && makensis -V1 empty.nsi >>"$work/nsis.log")
"$builder" verify "$ours_out" >/dev/null

ours_time=$(echo "$t1 $t0" | awk '{printf "%.2f", $1 - $2}')
nsis_time=$(echo "$t2 $t1" | awk '{printf "%.2f", $1 - $2}')
ours_size=$(stat -c %s "$ours_out")
nsis_size=$(stat -c %s "$work/project/nsis-setup.exe")
nsis_empty=$(stat -c %s "$work/project/nsis-empty.exe")
if [ -n "$stub" ]; then
  ours_package=$(( ours_size - $(stat -c %s "$stub") ))
  ours_package_note="(setup.exe less the stub)"
else
  ours_package=$ours_size
  ours_package_note="(bare package, --raw)"
fi
nsis_package=$(( nsis_size - nsis_empty ))

ratio() { echo "$1 $2" | awk '{printf "%.3f", $1 / $2}'; }
verdict() { echo "$1 $2" | awk '{print ($1 <= $2 ? "met" : "MISSED")}'; }

size_ratio=$(ratio "$ours_package" "$nsis_package")
time_ratio=$(ratio "$ours_time" "$nsis_time")
echo "tarvo-build: package $ours_package bytes $ours_package_note, output $ours_size bytes, built in $ours_time s"
echo "makensis:    package $nsis_package bytes (installer $nsis_size less an empty one of $nsis_empty), built in $nsis_time s"
echo "package size, ours/theirs: $size_ratio (target <= 1.00: $(verdict "$size_ratio" 1.00))"
if [ -n "$stub" ]; then
  whole_ratio=$(ratio "$ours_size" "$nsis_size")
  echo "whole installer, ours/theirs: $whole_ratio (setup.exe $ours_size, NSIS $nsis_size)"
else
  echo "whole installer: no tarvo-setup.exe stub yet; ours/theirs as bare package against their whole installer: $(ratio "$ours_size" "$nsis_size")"
fi
echo "build time, ours/theirs: $time_ratio (target <= 0.50: $(verdict "$time_ratio" 0.50))"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
