# start_xvfb WxHxD: starts a private Xvfb on a free display and exports DISPLAY.
# stop_xvfb: ends it. Sourced by the project's commands.
start_xvfb() {
  local geometry=${1:-1920x1080x24} fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  # Xvfb writes its display number once it accepts clients; a busy machine
  # may take a while, so wait while it lives (a minute at most, for a hang).
  for _ in $(seq 1 1200); do
    [[ -s "$fdfile" ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  [[ -s "$fdfile" ]] || { echo "xvfb: did not start" >&2; rm -f "$fdfile"; return 1; }
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

stop_xvfb() {
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}
