#!/usr/bin/env bash
# What an idle main menu costs: the game (a Release build) in a window of a virtual
# display of its own (Xvfb), left alone at its main menu; prints the processor time the
# process used over IDLE_SECONDS (10) of wall time, in cores, and the summary line
#   idle main menu in a window: <cores> cores (target <= 0.5 cores) ok|short
# Without Xvfb it prints the line as skipped and succeeds.
#
#   scripts/idle_cpu.sh [build dir]      (default build/bench; the game is <dir>/sources/quillo)
set -u
dir=${1:-${BENCH_DIR:-build/bench}}
quillo=$dir/sources/quillo
seconds=${IDLE_SECONDS:-10}
name="idle main menu in a window"
[ -x "$quillo" ] || { echo "idle_cpu.sh: $quillo is missing (build the quillo target)" >&2; exit 1; }

work=$(mktemp -d)
xvfb=
game=
cleanup() {
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null && wait "$game" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Whatever ends this script, the server and the game die with it.
tied=(setpriv --pdeathsig KILL --)

if ! command -v Xvfb >/dev/null; then
  echo "$name: skipped (Xvfb is not installed; scripts/install-deps.sh installs it)"
  exit 0
fi
"${tied[@]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "$name: skipped (Xvfb did not start)"
  exit 0
fi
export DISPLAY=:$(head -n 1 "$work/display")
unset QUILLO_HEADLESS WAYLAND_DISPLAY
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
mkdir -p "$work/home" "$work/data"
HOME="$work/home" XDG_DATA_HOME="$work/data" "${tied[@]}" "$quillo" -nofullscreen >"$work/out" 2>&1 &
game=$!

# Processor time of the game so far, in clock ticks (user + system, its threads included).
ticks() { awk '{ print $14 + $15 }' "/proc/$game/stat" 2>/dev/null; }
# The start-up (splash, loading) is over well before this.
sleep "${IDLE_SETTLE:-12}"
kill -0 "$game" 2>/dev/null || { echo "idle_cpu.sh: the game ended at start-up:" >&2; tail -n 20 "$work/out" >&2; exit 1; }
start=$(ticks)
t0=$(date +%s.%N)
sleep "$seconds"
end=$(ticks)
t1=$(date +%s.%N)
kill -0 "$game" 2>/dev/null || { echo "idle_cpu.sh: the game ended while measured" >&2; exit 1; }
awk -v a="$start" -v b="$end" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" -v name="$name" 'BEGIN {
  cores = (b - a) / hz / (t1 - t0)
  printf "%s: %.2f cores (target <= 0.5 cores) %s\n", name, cores, cores <= 0.5 ? "ok" : "short"
}'
