#!/usr/bin/env bash
# Runs a command (by default the Windows build's tests) inside a Wine session of its
# own: a fresh Wine prefix in a temporary directory and a headless X server as its
# display. Both are gone when the command ends.
#   bash scripts/wine-session.sh [command...]
set -euo pipefail
cd "$(dirname "$0")/.."
(($# > 0)) || set -- ctest --preset windows

source scripts/xvfb.sh
session=$(mktemp -d /tmp/brassowlet-wine.XXXXXX)
cleanup() {
  WINEPREFIX="$session/prefix" wineserver -k 2>/dev/null || true
  end_xvfbs
  rm -rf "$session"
}
trap cleanup EXIT

start_xvfb
export DISPLAY=$xvfb_display
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
