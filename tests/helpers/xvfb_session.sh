# Sourced by the checks that run the game on a virtual display: a scratch folder, the
# cleanup on exit (the game is killed: a close request would bring up the quit question,
# which nobody answers there), `fail`, `start_xvfb <WxHxD>`, which starts a server on a
# display number it chooses itself and exports DISPLAY, and `start_game <args...>`, which
# starts the program in the background with its output in $work/out and its pid in $game.
# Set `label` before sourcing.
#
# Whatever ends the check, nothing it started outlives it: the server and the game get a
# kill signal the moment the check's shell dies (also when ctest kills it on a timeout,
# which no trap sees), and a watchdog removes the scratch folder then. A leftover game
# would hold its save folder's one-copy lock and confuse every later start.
work=$(mktemp -d)
xvfb=
game=
check_shell=$$
# The watchdog: its own session, so that a kill of the check's process group spares it.
setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 0.5; done; rm -rf "$2"' watchdog "$check_shell" "$work" \
  </dev/null >/dev/null 2>&1 &
cleanup() {
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null && wait "$game" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The prefix of a command that dies with this shell. A prefix, not a function: a function
# run in the background would be a subshell, whose death is what the command would see.
tied=(setpriv --pdeathsig KILL --)
fail() {
  echo "$label: $*" >&2
  [ -f "$work/out" ] && tail -n 20 "$work/out" >&2
  exit 1
}
start_xvfb() {
  "${tied[@]}" Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" 2>/dev/null &
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
# The game with the check's own home and save folder (a check sets `saves` for another one;
# the XDG_DATA_HOME of whoever runs the tests is never used).
start_game() {
  HOME="$work/home" XDG_DATA_HOME="${saves:-$work/data}" "${tied[@]}" "$@" >"$work/out" 2>&1 &
  game=$!
}
