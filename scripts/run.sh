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
  source scripts/xvfb.sh
  trap end_xvfbs EXIT
  start_xvfb
  export DISPLAY=$xvfb_display
  echo "No display was set: started a headless X server (Xvfb) on $DISPLAY."
fi

echo "Watching from $demo; the log is \"$demo/BrassOwletMonitor Log.txt\"."
cd "$demo"
"$root/build/linux/BrassOwletMonitor"
