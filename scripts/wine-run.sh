#!/usr/bin/env bash
# Runs a Windows executable of a build tree under wine64 in that tree's own prefix.
# ctest uses it as CMAKE_CROSSCOMPILING_EMULATOR; TARVO_BUILD_DIR names the tree, or it is found
# by walking up from the executable to the folder holding CMakeCache.txt.
set -u
exe=$1
shift
root=${TARVO_BUILD_DIR:-}
if [ -z "$root" ]; then
  d=$(cd "$(dirname "$exe")" && pwd)
  # Shipped executables live in build/dist/<config>/, beside the tree build/<config>/.
  case "$d" in
    */dist/*) [ -f "${d%/dist/*}/${d##*/dist/}/CMakeCache.txt" ] && d="${d%/dist/*}/${d##*/dist/}" ;;
  esac
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  if [ "$d" = / ]; then
    echo "wine-run: $exe is not inside a build tree; set TARVO_BUILD_DIR" >&2
    exit 2
  fi
  root=$d
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh" env "$root"
[ -f "$WINEPREFIX/.tarvo-ready" ] || tarvo_wine_prefix "$root"
# Wine leaves helper processes (services, explorer) running for the wineserver's lifetime; they
# inherit the output of the program that started them. Writing to a file rather than to the
# caller's pipe keeps ctest from waiting on them after the test has ended.
out=$(mktemp "${TMPDIR:-/tmp}/tarvo-wine.XXXXXX")
"$(tarvo_wine_bin)" "$exe" "$@" >"$out" 2>&1 </dev/null
rc=$?
# Once in a long run, wine's loader has ended a fresh process at once, with a failure code and
# not a line of output (not even the test framework's first line): the program never ran. That
# case, and only that one, is started once more, and said so.
if [ $rc -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run: $exe ended with code $rc before writing anything; starting it once more" >&2
  "$(tarvo_wine_bin)" "$exe" "$@" >"$out" 2>&1 </dev/null
  rc=$?
fi
cat "$out"
rm -f "$out"
exit $rc
