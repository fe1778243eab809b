# Sourced by the bench scripts: start_xvfb starts a headless X server of its own and
# sets xvfb_display to its display (":N"); end_xvfbs ends every server started.
xvfb_processes=()

start_xvfb() {
  local displayfile
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$displayfile" 2>/dev/null &
  xvfb_processes+=($!)
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
  done
  [ -s "$displayfile" ] || { echo "Xvfb did not start." >&2; exit 1; }
  xvfb_display=":$(head -n 1 "$displayfile")"
  rm -f "$displayfile"
}

end_xvfbs() {
  [ ${#xvfb_processes[@]} -eq 0 ] || kill "${xvfb_processes[@]}" 2>/dev/null || true
}
