#!/usr/bin/env bash
# Runs a command (by default the Windows build's tests) inside a Wine session of its
# own: a fresh Wine prefix in a temporary directory and a headless X server as its
# display. Both are gone when the command ends.
#   bash scripts/wine-session.sh [command...]
set -euo pipefail
cd "$(dirname "$0")/.."
(($# > 0)) || set -- ctest --preset windows

session=$(mktemp -d /tmp/brassowlet-wine.XXXXXX)
xserver=
cleanup() {
  WINEPREFIX="$session/prefix" wineserver -k 2>/dev/null || true
  [[ -n $xserver ]] && kill "$xserver" 2>/dev/null && wait "$xserver" 2>/dev/null
  rm -rf "$session"
}
trap cleanup EXIT

# Xvfb names the display it found free on the descriptor it is given.
exec 3>"$session/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
exec 3>&-
for _ in $(seq 100); do
  [[ -s $session/display ]] && break
  kill -0 "$xserver" 2>/dev/null || { echo "wine-session: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$session/display")"
export WINEPREFIX="$session/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "wine-session: prefix $WINEPREFIX on display $DISPLAY"
# Making the prefix ends with its server going away; then one server and its
# system processes stay for the whole session, none of them holding the output of
# the first program that happens to start them.
wineboot --init </dev/null >/dev/null 2>&1
wineserver --wait
wineserver --persistent </dev/null >/dev/null 2>&1
wineboot </dev/null >/dev/null 2>&1

"$@"
