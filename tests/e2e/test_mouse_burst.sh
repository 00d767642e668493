#!/usr/bin/env bash
# Fast mouse motion while every turn is slow (a full cloud): the view follows the mouse, stops
# turning as soon as the mouse stops, and comes back to the very field it started from when the
# mouse comes back, no motion lost or added; and Escape right after seconds of motion ends the program
# at once instead of waiting behind the motion still queued. $2, when given, is the star count (the
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

differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# shoot NAME: a screenshot cut into the star field below the overlay ($WORK/field-NAME.png) and the
# overlay's turn line with only its blue ink kept ($WORK/turn-NAME.png). The turn count goes up with
# every turn, so a turn line that changed tells a frame drawn later; a star behind it is not that blue.
shoot() {
  screenshot "$WORK/shot.png" || return 1
  convert "$WORK/shot.png" -crop 1024x340+0+400 +repage "$WORK/field-$1.png" &&
    convert "$WORK/shot.png" -crop 600x23+0+175 +repage -fuzz 1% -fill black +opaque "rgb(0,0,255)" "$WORK/turn-$1.png"
}

# wait_still NAME: waits until the view keeps still from one new frame to the next, and leaves that
# field in $WORK/field-a.png; fails naming NAME when the field still changed after STILL_FRAMES new
# frames, or when no new frame comes within a step's time. Two screenshots alike prove nothing while a
# turn outlasts them: they may both show the frame drawn before the motion was taken. Motion that came
# before the first screenshot shows from the second frame after it on (the one after it may have been
# drawn before the program took that motion), so the field is compared from that frame on.
STILL_FRAMES=6
wait_still() {
  local frames=0 end=$((SECONDS + STEP_SECONDS))
  shoot a || fail "$1: screenshot"
  while [ $frames -lt $STILL_FRAMES ]; do
    [ $SECONDS -lt $end ] || fail "$1: no new frame within $STEP_SECONDS s ($frames seen)"
    shoot b || fail "$1: screenshot"
    [ "$(differing "$WORK/turn-a.png" "$WORK/turn-b.png")" = 0 ] && continue
    frames=$((frames + 1))
    [ $frames -ge 3 ] && [ "$(differing "$WORK/field-a.png" "$WORK/field-b.png")" = 0 ] && return 0
    mv "$WORK/field-b.png" "$WORK/field-a.png"
    mv "$WORK/turn-b.png" "$WORK/turn-a.png"
  done
  fail "$1: the view was still turning $STILL_FRAMES frames after the first screenshot"
}

# burst SECONDS DX DY: SECONDS of small moves of (DX, DY) pixels in one xdotool run.
burst() {
  local moves=$(($1 * MOVES_PER_SECOND)) cmd=(xdotool) i
  for ((i = 0; i < moves; i++)); do cmd+=(mousemove_relative -- "$2" "$3" sleep 0.0035); done
  "${cmd[@]}" || fail "xdotool could not move the mouse"
}

# turned: a fresh screenshot's field differs from the one before any motion.
turned() { shoot now && [ "$(differing "$WORK/field-before.png" "$WORK/field-now.png")" -gt 30 ]; }

start_xvfb 1024x768
start_kelvra
answer_prompts "$STARS" "" 0.01 7
expect_stars "$STARS"
wait_still "before any motion"
cp "$WORK/field-a.png" "$WORK/field-before.png"

# Right, then as far left: the motion is all sideways, so every turn is about the camera's own up
# axis, which none of them moves, and the turns add up to none in whatever parts they are taken. A
# view turned away from the cloud would look still however it turned; this one must come back to it.
burst $((BURST_SECONDS / 2)) 2 0
wait_for "the view turned by the mouse" turned
burst $((BURST_SECONDS / 2)) -2 0
wait_still "once the mouse came back"
back=$(differing "$WORK/field-before.png" "$WORK/field-a.png")
# Under Windows the cursor's warps cost motion: SDL's warp throws away the mouse messages that came in
# before it, and Windows sends a move for where the cursor is when the program looks, not for each
# place it was, so a warp's own move can be lost. There the view only has to have turned and stopped.
if [ -z "${KELVRA_WINDOWS_EXE:-}" ]; then
  [ "$back" -le 30 ] || fail "the view did not come back to where it started once the mouse did: $back pixels differ"
fi

burst $BURST_SECONDS 3 1
escaped=$(date +%s%N)
xdotool key Escape
wait_exit "$EXIT_BOUND" >"$WORK/status"
took=$((($(date +%s%N) - escaped) / 1000000))
status=$(cat "$WORK/status")
[ "$status" = 0 ] || fail "Escape after ${BURST_SECONDS} s of motion: status $status within $EXIT_BOUND s"
echo "PASS ($STARS stars: the view stopped $back pixels from where it started; ended $took ms after Escape, measured to within a poll of 100 ms)"
