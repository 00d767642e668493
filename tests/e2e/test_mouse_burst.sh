#!/usr/bin/env bash
# Fast mouse motion while every turn is slow (a full cloud): the view follows the mouse and stops
# turning as soon as the mouse stops, and Escape right after seconds of motion ends the program at
# once instead of waiting behind the motion still queued. $2, when given, is the star count (the
# arm64 program under QEMU takes a smaller cloud); Delta T is tiny so that the stars keep still and
# only the camera changes the picture.
. "$(dirname "$0")/lib.sh"
STARS=${2:-10000}
KEEP_SHOTS_DIR=$(dirname "$KELVRA")/e2e-artifacts/test_mouse_burst
rm -rf "$KEEP_SHOTS_DIR"
# Seconds of motion, the moves a second xdotool makes (about), and the bound on the exit after Escape.
BURST_SECONDS=4
MOVES_PER_SECOND=240
EXIT_BOUND=$(awk -v f="$SLOWDOWN" 'BEGIN { print int(3 * f) }')

# count_colour FILE X Y W H R G B: pixels of the region with exactly that colour (within 2 a channel).
count_colour() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- |
    awk -v r="$6" -v g="$7" -v b="$8" -F'[(),]' '
      NR > 1 { dr = $3 - r; dg = $4 - g; db = $5 - b
               if (dr <= 2 && dr >= -2 && dg <= 2 && dg >= -2 && db <= 2 && db >= -2) n++ }
      END { print n + 0 }'
}

# field FILE OUT: the star field below the overlay, whose text changes every turn.
field() { convert "$1" -crop 1024x340+0+400 +repage "$2"; }

differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# wait_still SECONDS NAME: screenshots the field until two in a row are alike; fails naming NAME when
# that does not happen within SECONDS.
wait_still() {
  local limit=$(($(date +%s%N) + $1 * 1000000000)) n=0
  screenshot "$WORK/still-a.png" && field "$WORK/still-a.png" "$WORK/field-a.png"
  while [ "$(date +%s%N)" -lt "$limit" ]; do
    n=$((n + 1))
    screenshot "$WORK/still-b.png" && field "$WORK/still-b.png" "$WORK/field-b.png"
    [ "$(differing "$WORK/field-a.png" "$WORK/field-b.png")" = 0 ] && return 0
    mv "$WORK/field-b.png" "$WORK/field-a.png"
  done
  fail "$2: the view was still turning after $1 s ($n screenshots)"
}

# burst: BURST_SECONDS of small moves, right and down, in one xdotool run.
burst() {
  local moves=$((BURST_SECONDS * MOVES_PER_SECOND)) cmd=(xdotool) i
  for ((i = 0; i < moves; i++)); do cmd+=(mousemove_relative -- 3 1 sleep 0.0035); done
  "${cmd[@]}" || fail "xdotool could not move the mouse"
}

start_xvfb 1024x768
start_kelvra
wait_drawn 60 "$WORK/start.png" || fail "the program drew nothing"
# The star prompt's box: its yellow outline.
for _ in $(seq 100); do
  screenshot "$WORK/start.png"
  [ "$(count_colour "$WORK/start.png" 301 350 3 40 204 204 0)" -ge 100 ] && break
  sleep 0.2
done
[ "$(count_colour "$WORK/start.png" 301 350 3 40 204 204 0)" -ge 100 ] || fail "no star prompt"
key BackSpace BackSpace BackSpace BackSpace
type_answer "$STARS"
key Return
key BackSpace BackSpace BackSpace BackSpace BackSpace
type_answer 0.01
type_answer 7

# The star field with its overlay: the yellow key lines.
for _ in $(seq 100); do
  screenshot "$WORK/field.png"
  [ "$(count_colour "$WORK/field.png" 0 53 450 48 255 255 0)" -ge 200 ] && break
  sleep 0.2
done
[ "$(count_colour "$WORK/field.png" 0 53 450 48 255 255 0)" -ge 200 ] || fail "no star field after the prompts"
wait_still $((10 * SLOWDOWN)) "before any motion"
cp "$WORK/field-a.png" "$WORK/field-before.png"

burst
wait_still $((2 * SLOWDOWN)) "once the mouse stopped"
[ "$(differing "$WORK/field-before.png" "$WORK/field-a.png")" -gt 30 ] || fail "the mouse did not turn the view"

burst
escaped=$(date +%s%N)
xdotool key Escape
wait_exit "$EXIT_BOUND" >"$WORK/status"
took=$((($(date +%s%N) - escaped) / 1000000))
status=$(cat "$WORK/status")
[ "$status" = 0 ] || fail "Escape after ${BURST_SECONDS} s of motion: status $status within $EXIT_BOUND s"
echo "PASS ($STARS stars: ended $took ms after Escape, measured to within a poll of 100 ms)"
