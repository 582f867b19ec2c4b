#!/usr/bin/env bash
# What the game costs while nothing on its screen changes but a cloud or a pulse: the game
# (a Release build) full screen on a virtual display of its own (Xvfb), a first start over an
# empty save folder; prints the processor time the process used over IDLE_SECONDS (10) of
# wall time, in cores, as the summary lines
#   idle main menu, full screen 1280 x 800: <cores> cores (target <= 0.15 cores) ok|short
#   idle main menu, full screen 1920 x 1080: <cores> cores (target <= 0.3 cores) ok|short
#   running level, full screen 1280 x 800: <cores> cores (target <= 0.5 cores) ok|short
# The screens are reached by clicks as a player makes them: the player offered at a first
# start is taken, which shows the main menu; Play and the first level's button start the
# level, left running untouched (its first hint showing).
# Without Xvfb or xdotool a line says it was skipped, and the script succeeds.
#
#   scripts/idle_cpu.sh [build dir]      (default build/bench; the game is <dir>/sources/quillo)
#
# The cores are the process's, its threads included; run under taskset to choose them.
set -u
dir=${1:-${BENCH_DIR:-build/bench}}
quillo=$dir/sources/quillo
seconds=${IDLE_SECONDS:-10}
[ -x "$quillo" ] || { echo "idle_cpu.sh: $quillo is missing (build the quillo target)" >&2; exit 1; }

work=$(mktemp -d)
xvfb=
game=
stop_run() {
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null && wait "$game" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  game=
  xvfb=
}
trap 'stop_run; rm -rf "$work"' EXIT
# Whatever ends this script, the server and the game die with it.
tied=(setpriv --pdeathsig KILL --)
status=0

# Processor time of the game so far, in clock ticks (user + system, its threads included).
ticks() { awk '{ print $14 + $15 }' "/proc/$game/stat" 2>/dev/null; }

# measure NAME WIDTH HEIGHT TARGET [level]
measure() {
  local name=$1 width=$2 height=$3 target=$4 scenario=${5:-menu}
  if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
    echo "$name: skipped (Xvfb or xdotool is not installed; scripts/install-deps.sh installs them)"
    return
  fi
  rm -rf "$work/run"
  mkdir -p "$work/run/home" "$work/run/data"
  "${tied[@]}" Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp 3>"$work/run/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$work/run/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$work/run/display" ]; then
    echo "$name: skipped (Xvfb did not start)"
    stop_run
    return
  fi
  local display=:$(head -n 1 "$work/run/display")
  DISPLAY=$display SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} HOME="$work/run/home" XDG_DATA_HOME="$work/run/data" \
    env -u QUILLO_HEADLESS -u WAYLAND_DISPLAY "${tied[@]}" "$quillo" >"$work/run/out" 2>&1 &
  game=$!
  # The start-up (splash, loading) is over well before this.
  sleep "${IDLE_SETTLE:-12}"
  if ! kill -0 "$game" 2>/dev/null; then
    echo "idle_cpu.sh: the game ended at start-up:" >&2
    tail -n 20 "$work/run/out" >&2
    status=1
    stop_run
    return
  fi
  # Points of the game's 960 x 640 layout on this screen (the first start fills it; the
  # layout is scaled to the height and centred).
  at() { awk -v x="$1" -v y="$2" -v w="$width" -v h="$height" \
    'BEGIN { s = h / 640; printf "%d %d", (w - 960 * s) / 2 + x * s, y * s }'; }
  click() { DISPLAY=$display xdotool mousemove $(at "$1" "$2") click 1; sleep "$3"; }
  # The player offered at a first start is taken, and the players' window closed.
  DISPLAY=$display xdotool key Return
  sleep 1
  click 550 446 2
  if [ "$scenario" = level ]; then
    click 480 280 3 # Play
    click 120 150 4 # level 1
  fi
  # The pointer rests where it covers nothing that answers it.
  DISPLAY=$display xdotool mousemove $(at 300 560)
  sleep 2
  local start end t0 t1
  start=$(ticks)
  t0=$(date +%s.%N)
  sleep "$seconds"
  end=$(ticks)
  t1=$(date +%s.%N)
  if ! kill -0 "$game" 2>/dev/null; then
    echo "idle_cpu.sh: the game ended while measured" >&2
    status=1
    stop_run
    return
  fi
  # IDLE_SHOT=PREFIX keeps what the screen showed, to see what was measured.
  [ -n "${IDLE_SHOT:-}" ] && DISPLAY=$display import -window root "$IDLE_SHOT-$scenario-${width}x$height.png"
  stop_run
  awk -v a="$start" -v b="$end" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" -v name="$name" \
    -v target="$target" 'BEGIN {
    cores = (b - a) / hz / (t1 - t0)
    printf "%s: %.2f cores (target <= %s cores) %s\n", name, cores, target, cores <= target ? "ok" : "short"
  }'
}

measure "idle main menu, full screen 1280 x 800" 1280 800 0.15
measure "idle main menu, full screen 1920 x 1080" 1920 1080 0.3
measure "running level, full screen 1280 x 800" 1280 800 0.5 level
exit $status
