#!/usr/bin/env bash
# The Wine environment of one build tree: its own WINEPREFIX (64-bit, made on first use), a
# persistent wineserver for the duration of a test run, and an Xvfb display for tests that open
# windows. Nothing outside the build tree and the temp folder is touched.
#
#   wine-env.sh start BUILD_DIR   make the prefix if needed, start wineserver and Xvfb
#   wine-env.sh stop BUILD_DIR    stop both
#   source wine-env.sh env BUILD_DIR   export WINEPREFIX, WINEDEBUG, DISPLAY for BUILD_DIR

tarvo_wine_bin() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else command -v wine64 || command -v wine; fi
}

tarvo_wine_vars() {
  local root=$1
  export WINEPREFIX="$root/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko install prompts: nothing we test needs them. No menu entries, desktop files
  # or icons in the Linux home for the shortcuts that tests create (winemenubuilder).
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  if [ -f "$root/xvfb.display" ]; then
    DISPLAY=$(cat "$root/xvfb.display")
    export DISPLAY
  fi
}

# Wine links the user's Desktop, Documents and other shell folders to the Linux home folder, so a
# shortcut that a test puts on the desktop would land in $HOME, shared by every build tree of the
# machine. Real folders inside the prefix instead.
tarvo_wine_sandbox() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm -f "$link" && mkdir -p "$link"
    fi
  done
}

tarvo_wine_prefix() {
  local root=$1
  mkdir -p "$root"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.tarvo-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$(tarvo_wine_bin)" wineboot -i </dev/null >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.tarvo-ready"
    fi
    # Xvfb runs no window manager, yet wine treats top-level windows as managed and, when one is
    # hidden or destroyed, waits 2 s for a window manager to withdraw it. Unmanaged windows skip
    # that wait; nothing we test depends on a window manager.
    if [ ! -f "$WINEPREFIX/.tarvo-unmanaged" ]; then
      "$(tarvo_wine_bin)" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 &&
        touch "$WINEPREFIX/.tarvo-unmanaged"
    fi
    tarvo_wine_sandbox
  ) 9>"$root/wineprefix.lock"
}

tarvo_xvfb_start() {
  local root=$1 n
  if [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then return 0; fi
  command -v Xvfb >/dev/null || return 0
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    # Detached from our output: ctest waits until every holder of a test's pipes has gone.
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    local pid=$!
    sleep 0.5
    if kill -0 "$pid" 2>/dev/null; then
      echo "$pid" > "$root/xvfb.pid"
      echo ":$n" > "$root/xvfb.display"
      return 0
    fi
  done
  echo "wine-env: no free X display for Xvfb" >&2
}

tarvo_wine_main() {
  local cmd=$1 root
  root=$(cd "$2" && pwd)
  case "$cmd" in
    env)
      tarvo_wine_vars "$root"
      ;;
    start)
      tarvo_xvfb_start "$root"
      tarvo_wine_vars "$root"
      tarvo_wine_prefix "$root"
      # A persistent wineserver keeps every later launch warm (about 0.1 s instead of seconds).
      setsid wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
      # Start Wine's own services now, detached, instead of inside the first test.
      "$(tarvo_wine_bin)" cmd /c exit </dev/null >/dev/null 2>&1 || true
      ;;
    stop)
      tarvo_wine_vars "$root"
      wineserver -k 2>/dev/null || true
      if [ -f "$root/xvfb.pid" ]; then
        kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true
        rm -f "$root/xvfb.pid" "$root/xvfb.display"
      fi
      ;;
    *)
      echo "usage: wine-env.sh start|stop|env BUILD_DIR" >&2
      return 2
      ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -eu
  tarvo_wine_main "$@"
else
  tarvo_wine_main "$@"
fi
