# Sourced by the scripts that need a headless X server: start_xvfb starts one on a
# display that no one else uses and sets xvfb_display to it (":N"); end_xvfbs ends
# every one it started.
xvfb_processes=()

start_xvfb() {
  local displayfile process
  displayfile=$(mktemp)
  # Xvfb names the display it found free on the descriptor it is given.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$displayfile" >/dev/null 2>&1 &
  process=$!
  xvfb_processes+=("$process")
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    kill -0 "$process" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$displayfile" ]; then
    rm -f "$displayfile"
    echo "Xvfb did not start." >&2
    exit 1
  fi
  xvfb_display=":$(head -n 1 "$displayfile")"
  rm -f "$displayfile"
}

end_xvfbs() {
  local process
  for process in "${xvfb_processes[@]}"; do
    kill "$process" 2>/dev/null && wait "$process" 2>/dev/null || true
  done
  xvfb_processes=()
}
