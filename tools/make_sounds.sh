#!/bin/sh
# Synthesises the demo's sound effects and its danger theme (an MP3) into a data folder
# (the main theme is a module, written by make_module):
#   make_sounds.sh <data folder>
# Repeatable (-R) and undithered (-D), so every build writes the same bytes. Most effects
# are 16-bit at 22050 Hz; bubble_pop (8-bit mono at 11025 Hz) and level_complete (44100 Hz)
# make the game convert samples and change buffer rates. The levels leave room for the
# music, which peaks near full scale itself, and for the effects one collect starts
# together (collected, evolved, power-up, the group's, an achievement): each effect peaks
# at 0.3 of full scale or less, lightning_strike, the loudest, under 0.45.
set -eu
out=${1:?usage: make_sounds.sh <data folder>}
mkdir -p "$out/sounds" "$out/music"
s="$out/sounds"

sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/button_click.wav" synth 0.05 square 1400 fade 0 0.05 0.04 vol 0.3
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/achievement_unlock.wav" synth 0.2 sine 660 vol 0.3 : synth 0.2 sine 880 vol 0.3 : synth 0.4 sine 1320 fade 0 0.4 0.2 vol 0.2
sox -V1 -R -D -n -r 11025 -c 1 -b 8 "$s/bubble_pop.wav" synth 0.12 sine 300-1200 fade 0 0.12 0.08 vol 0.3
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/group_removed.wav" synth 0.3 triangle 520-260 fade 0 0.3 0.15 vol 0.25
sox -V1 -R -D -n -r 22050 -c 1 -b 16 "$s/ice_meltdown.wav" synth 0.8 pinknoise vol 0.25 lowpass 1500 fade 0.05 0.8 0.4
sox -V1 -R -D -n -r 44100 -c 2 -b 16 "$s/level_complete.wav" synth 0.25 sine 523 vol 0.3 : synth 0.25 sine 659 vol 0.3 : synth 0.25 sine 784 vol 0.3 : synth 0.6 sine 1046 fade 0 0.6 0.3 vol 0.25
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/level_lost.wav" synth 1.2 sawtooth 330-110 lowpass 2000 fade 0 1.2 0.5 vol 0.2
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/lightning_strike.wav" synth 0.6 whitenoise synth 0.6 square amod 90 fade 0 0.6 0.4 vol 0.4
sox -V1 -R -D -n -r 22050 -c 1 -b 16 "$s/monster_collected.wav" synth 0.15 sine 880-1760 fade 0 0.15 0.05 vol 0.25
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/monster_evolved.wav" synth 0.5 sine 440-880 tremolo 12 60 fade 0 0.5 0.2 vol 0.25
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/monster_died.wav" synth 0.4 square 200-60 lowpass 1200 fade 0 0.4 0.2 vol 0.2
sox -V1 -R -D -n -r 22050 -c 1 -b 16 "$s/power_up.wav" synth 0.35 sine 300-1500 fade 0 0.35 0.1 vol 0.25
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$s/remove_failed.wav" synth 0.25 square 140 fade 0 0.25 0.1 vol 0.2

# The danger theme: a tense minor figure, looped four times (about 13 s), encoded as
# MPEG-2 at 22050 Hz so it plays without resampling. -t leaves out the encoder's info
# frame, which would play as a silent frame; lame adds no dates, so the bytes repeat.
figure=""
for note in A3 C4 D#4 E4 A3 C4 F4 E4 A3 C4 D#4 E4 G#3 B3 D4 E4; do
  figure="$figure synth 0.2 sawtooth $note fade 0.005 0.2 0.08 :"
done
# Steps through files rather than pipes, so a failing step fails the build. The figure
# must not be left as danger_theme.wav: the game would open that before the MP3.
figure_wav="$out/music/danger_figure.tmp.wav"
# shellcheck disable=SC2086 # the figure is a list of sox arguments
sox -V1 -R -D -n -r 22050 -c 2 -b 16 "$figure_wav" ${figure%:}
sox -V1 -R -D "$figure_wav" "$figure_wav.loop.wav" lowpass 1800 vol 0.4 repeat 3
lame --quiet -t -b 64 -m j "$figure_wav.loop.wav" "$out/music/danger_theme.mp3"
rm -f "$figure_wav" "$figure_wav.loop.wav"
