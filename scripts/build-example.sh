#!/usr/bin/env bash
# Builds the setup of the example product Tarvo Notes:
#
#   scripts/build-example.sh CONFIG [BUILD_DIR]
#
#   CONFIG     win32 (the shipped, 32-bit installer and program) or win64
#   BUILD_DIR  the configuration's build tree; build/CONFIG by default, configured from the
#              preset when it has not been yet
#
# 1. Assembles the project folder BUILD_DIR/examples/notes/project (target example-notes-project:
#    the program built for CONFIG, its DLL, the script, terms, readme, banner and palette).
# 2. When the installer stub build/dist/CONFIG/tarvo-setup.exe exists, packs the project into it
#    with the native package builder build/dist/linux/tarvo-build (built from the native preset
#    when missing), giving build/dist/CONFIG/tarvo-notes-setup.exe, and lists the result.
#    Without the stub it says so and stops after step 1, with exit code 0: the project is ready.
set -eu

usage() {
  echo "usage: build-example.sh win32|win64 [BUILD_DIR]" >&2
  exit 2
}

[ $# -ge 1 ] && [ $# -le 2 ] || usage
config=$1
case "$config" in
  win32 | win64) ;;
  *) usage ;;
esac

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=${2:-$root/build/$config}
case "$tree" in
  /*) ;;
  *) tree=$PWD/$tree ;;
esac

if [ ! -f "$tree/CMakeCache.txt" ]; then
  (cd "$root" && cmake --preset "$config" -B "$tree")
fi
cmake --build "$tree" --target example-notes-project

project=$tree/examples/notes/project
dist=$root/build/dist/$config
stub=$dist/tarvo-setup.exe
output=$dist/tarvo-notes-setup.exe
if [ ! -f "$stub" ]; then
  echo "build-example: the installer stub $stub is missing (build the $config tree's tarvo-setup first);"
  echo "build-example: the project is assembled in $project, no setup was made"
  exit 0
fi

builder=$root/build/dist/linux/tarvo-build
if [ ! -x "$builder" ]; then
  native=$root/build/native
  if [ ! -f "$native/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset native -B "$native")
  fi
  cmake --build "$native" --target tarvo-build
fi

"$builder" build "$project" -o "$output" --stub "$stub"
"$builder" list "$output"
