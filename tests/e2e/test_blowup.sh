#!/usr/bin/env bash
# A cloud that blows up on its first turn: 2,000 stars in a radius of 0.01 light years integrated in
# steps of a billion years fly apart to enormous distances (and some to infinity or NaN). The program
# must go on drawing frames and answering keys for at least half a minute and end normally on Escape;
# in the sanitizer build without a single report.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/lib_robust.sh"

RUN_SECONDS=30      # least time the blown-up cloud is kept running and driven
BANNER_X=420        # "***PAUSED***" in font 3 on a 1024-pixel-wide window: x 427 to 512 + 85,
BANNER_Y=4          # on the baseline y = 25
BANNER_W=190
BANNER_H=26
MIN_BANNER_PIXELS=40
BAR_Y=750           # the speed bar: 20 pixels along the bottom edge, right of the centre when forward

start_xvfb 1024x768
start_kelvra
answer_prompts 2000 0.01 1e9 ""
expect_stars 2000
start=$(date +%s)
alive || fail "the program ended or lost its window right after the blow-up"

# picture_changed BEFORE.png: a fresh screenshot ($WORK/now.png) differs from BEFORE.png.
picture_changed() { shot && [ "$(differing_pixels "$1" "$WORK/now.png")" -gt 0 ]; }

# Frames keep coming: the turn counter of the overlay changes from one screenshot to the next.
screenshot "$WORK/prev.png"
for i in $(seq 5); do
  wait_for "a new frame at check $i while the simulation runs" picture_changed "$WORK/prev.png"
  mv "$WORK/now.png" "$WORK/prev.png"
done

# Space pauses: the grey banner appears at the top centre and the picture stands still.
banner_pixels() { count_colour "$WORK/now.png" $BANNER_X $BANNER_Y $BANNER_W $BANNER_H 128 128 128 2; }
banner_shown() { shot && [ "$(banner_pixels)" -ge $MIN_BANNER_PIXELS ]; }
banner_gone() { shot && [ "$(banner_pixels)" -lt $MIN_BANNER_PIXELS ]; }
xdo "Space to pause" key space
wait_for "the grey pause banner at the top centre after Space" banner_shown
cp "$WORK/now.png" "$WORK/paused1.png"
pause 1.5
screenshot "$WORK/paused2.png"
[ "$(differing_pixels "$WORK/paused1.png" "$WORK/paused2.png")" -eq 0 ] || fail "the paused picture changed"

# The arrows turn the camera: with stars in view the picture changes; the blown-up cloud may have
# left the view, so the camera is also flown forward with A, which brings up the green speed bar.
xdo "Left held down" keydown Left; pause 1; xdo "Left released" keyup Left
xdo "Up held down" keydown Up; pause 1; xdo "Up released" keyup Up
bar_shown() { shot && [ "$(count_colour "$WORK/now.png" 512 $BAR_Y 100 16 0 255 0 8)" -gt 100 ]; }
xdo "A held down" keydown a
wait_for "the green speed bar while flying forward" bar_shown
xdo "A released" keyup a
cp "$WORK/now.png" "$WORK/moved.png"
[ "$(differing_pixels "$WORK/paused2.png" "$WORK/moved.png")" -gt 0 ] || fail "the picture did not change"

# Space again resumes: the banner goes and the turns go on.
xdo "Space to resume" key space
wait_for "the pause banner gone after Space" banner_gone
cp "$WORK/now.png" "$WORK/resumed.png"

# Keep it running until the half minute is full, still drawing.
while [ $(($(date +%s) - start)) -lt $RUN_SECONDS ]; do
  wait_for "a new frame after $(($(date +%s) - start)) s of the run" picture_changed "$WORK/resumed.png"
  mv "$WORK/now.png" "$WORK/resumed.png"
  alive || fail "the program ended during the run"
done

xdo "Escape to quit" key Escape
rc=$(wait_exit "$STEP_SECONDS")
[ "$rc" = 0 ] || { tail -n 40 "$WORK/kelvra.out" >&2; fail "Escape ended the program with status $rc"; }
sanitizer_clean
echo "blow-up: ran $(($(date +%s) - start)) s, frames and keys answered, clean exit"
