#!/usr/bin/env bash
# Builds the watchdog and runs it for real in a demo directory that holds the
# companion, in the foreground; Ctrl-C ends it. Without a display, a headless X
# server is started for it and ended with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-dependencies.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --parallel "$(nproc)"

demo="$root/demo"
mkdir -p "$demo"
cp build/linux/BrassOwlet.exe "$demo/"

if [ -z "${DISPLAY:-}" ]; then
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$displayfile" 2>/dev/null &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null; rm -f "$displayfile"' EXIT
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
  done
  [ -s "$displayfile" ] || { echo "Xvfb did not start." >&2; exit 1; }
  export DISPLAY=":$(head -n 1 "$displayfile")"
  echo "No display was set: started a headless X server (Xvfb) on $DISPLAY."
fi

echo "Watching from $demo; the log is \"$demo/BrassOwletMonitor Log.txt\"."
cd "$demo"
"$root/build/linux/BrassOwletMonitor"
