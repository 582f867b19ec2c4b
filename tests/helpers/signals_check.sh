#!/bin/bash
# The desktop ends the game with a signal (SIGTERM when the session ends, SIGINT for Ctrl+C
# in a terminal, SIGHUP when the terminal goes): the game ends as if the player had
# answered the quit question yes: at once, with status 0, the settings written, and with
# no question left on screen; also when the quit question is open at that moment.
#
#   signals_check.sh <quillo> <x_close_request>
set -u
quillo=$1
close_request=$2

label="signals"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 1024x768x24
export SDL_AUDIODRIVER=dummy
root=$(xdotool search --maxdepth 0 --name "" 2>/dev/null | head -n 1)

# signal | the quit question is open when it comes
cases=(
  "TERM no"
  "INT no"
  "HUP no"
  "TERM yes"
)
for case in "${cases[@]}"; do
  read -r signal asking <<<"$case"
  what="SIG$signal$([ "$asking" = yes ] && echo " with the quit question open")"
  saves="$work/data-$signal-$asking"
  mkdir -p "$saves"
  start_game "$quillo"
  window=$(timeout 60 xdotool search --sync --name "^Quillo Tovra$" 2>/dev/null | head -n 1)
  [ -n "$window" ] || fail "$what: no game window appeared"
  sleep 3
  if [ "$asking" = yes ]; then
    "$close_request" "$window" || fail "$what: the close request could not be sent"
    box=
    for _ in $(seq 50); do
      box=$(xdotool search --onlyvisible --name "" 2>/dev/null | grep -vx "$window" | while read -r candidate; do
        eval "$(xdotool getwindowgeometry --shell "$candidate" 2>/dev/null)"
        [ "${WIDTH:-0}" -gt 1 ] && [ "${WIDTH:-0}" -lt 1024 ] && echo "$candidate"
      done | head -n 1)
      [ -n "$box" ] && break
      sleep 0.2
    done
    [ -n "$box" ] || fail "$what: no quit question appeared"
  fi
  kill -"$signal" "$game"
  for _ in $(seq 50); do
    kill -0 "$game" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$game" 2>/dev/null && fail "$what: the game still runs 10 s later"
  wait "$game"
  status=$?
  game=
  [ "$status" = 0 ] || fail "$what: the game ended with status $status"
  [ -f "$saves/Kembra Entertainment/Quillo Tovra/settings.dat" ] || fail "$what: no settings.dat written"
  left=$(xdotool search --onlyvisible --name "" 2>/dev/null | grep -vx "$root" | while read -r candidate; do
    eval "$(xdotool getwindowgeometry --shell "$candidate" 2>/dev/null)"
    [ "${WIDTH:-0}" -gt 1 ] && echo "$candidate"
  done)
  [ -z "$left" ] || fail "$what: windows left on screen: $left"
  echo "$label: $what: status 0, settings written, nothing left on screen"
done
