#!/usr/bin/env bash
# Builds the watchdog and runs it for real in a demo directory that holds the
# companion, in the foreground; Ctrl-C ends it. Without a display, a headless X
# server is started for it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-dependencies.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --parallel "$(nproc)"

demo="$PWD/demo"
mkdir -p "$demo"
cp build/linux/BrassOwlet.exe "$demo/"

if [ -z "${DISPLAY:-}" ]; then
  exec 3< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1024x768x24 2>/dev/null)
  read -r number <&3
  export DISPLAY=":$number"
  echo "No display was set: started a headless X server (Xvfb) on $DISPLAY."
fi

echo "Watching from $demo; the log is \"$demo/BrassOwletMonitor Log.txt\"."
cd "$demo"
exec "$OLDPWD/build/linux/BrassOwletMonitor"
