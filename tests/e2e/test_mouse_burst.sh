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
answer_prompts "$STARS" "" 0.01 7
expect_stars "$STARS"
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
