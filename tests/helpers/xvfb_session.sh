# Sourced by the checks that run the game on a virtual display: a scratch folder, the
# cleanup on exit (the game is killed: a close request would bring up the quit question,
# which nobody answers there), `fail`, and `start_xvfb <WxHxD>`, which starts a server on a
# display number it chooses itself and exports DISPLAY. Set `label` before sourcing.
work=$(mktemp -d)
xvfb=
game=
cleanup() {
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null && wait "$game" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$label: $*" >&2
  [ -f "$work/out" ] && tail -n 20 "$work/out" >&2
  exit 1
}
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n 1 "$work/display")
  mkdir -p "$work/home" "$work/data"
  unset QUILLO_HEADLESS
}
