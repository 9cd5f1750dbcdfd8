#!/usr/bin/env bash
# Runs the cross-built Windows programs under Wine.
#
#   wine.sh start STATE      start Xvfb and a persistent wineserver; create
#                            the prefix STATE/prefix the first time
#   wine.sh run STATE EXE..  run one program in that session (the tests)
#   wine.sh stop STATE       stop the wineserver and the display
#   wine.sh exec STATE EXE.. run a program that shows no window, without a
#                            session (the build's own tools)
#
# STATE is a directory of the build tree; the prefix stays there between
# runs, since creating it takes tens of seconds.
set -euo pipefail

command="$1"
state="$2"
shift 2
mkdir -p "$state"
state="$(cd "$state" && pwd)"
export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package; its wineserver script runs the 64-bit server.
wine64="${BRONTAL_WINE64:-/usr/lib/wine/wine64}"
wineserver="${BRONTAL_WINESERVER:-/usr/lib/wine/wineserver}"

# Creates the prefix the first time; it needs no display.
ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once)"
    # Without 32-bit Wine it reports the 32-bit half missing; only the
    # registry it leaves behind tells whether the prefix is usable.
    "$wine64" wineboot -i </dev/null >"$state/wineboot.log" 2>&1 || true
    # The registry reaches the disk when the server ends.
    "$wineserver" -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot failed (see $state/wineboot.log)" >&2; exit 1; }
  fi
}

case "$command" in
start)
  if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
    "$0" stop "$state"
  fi
  rm -f "$state/display" "$state/displayfd"
  # Xvfb writes its display number once it accepts clients. Nothing of the
  # daemons may keep the caller's output open, or ctest waits for them.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$state/displayfd" </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do
    grep -q . "$state/displayfd" 2>/dev/null && break
    sleep 0.1
  done
  number="$(head -n1 "$state/displayfd")"
  [ -n "$number" ] || { echo "Xvfb did not start (see $state/xvfb.log)" >&2; exit 1; }
  echo ":$number" >"$state/display"
  export DISPLAY=":$number"
  ensure_prefix
  "$wineserver" -p </dev/null >/dev/null 2>&1
  # Boots (or updates) the prefix's services now rather than inside a test.
  "$wine64" cmd /c exit </dev/null >/dev/null 2>&1 || true
  ;;
run)
  [ -f "$state/display" ] || { echo "no Wine session in $state: run 'wine.sh start' first" >&2; exit 1; }
  DISPLAY="$(cat "$state/display")"
  export DISPLAY
  exec "$wine64" "$@"
  ;;
exec)
  ensure_prefix
  unset DISPLAY
  exec "$wine64" "$@"
  ;;
stop)
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  rm -f "$state/display"
  ;;
*)
  echo "usage: wine.sh start|run|exec|stop STATE [EXE ARGS...]" >&2
  exit 2
  ;;
esac
