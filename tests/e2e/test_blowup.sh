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
start=$(date +%s)
sleep 3
alive || fail "the program ended or lost its window right after the blow-up"

# Frames keep coming: the turn counter of the overlay changes from one screenshot to the next.
screenshot "$WORK/prev.png"
for i in $(seq 5); do
  sleep 2
  screenshot "$WORK/now.png"
  changed=$(differing_pixels "$WORK/prev.png" "$WORK/now.png")
  [ "${changed:-0}" -gt 0 ] || fail "the picture stood still at check $i while the simulation ran"
  mv "$WORK/now.png" "$WORK/prev.png"
done

# Space pauses: the grey banner appears at the top centre and the picture stands still.
key space
sleep 1.5
screenshot "$WORK/paused1.png"
banner=$(count_colour "$WORK/paused1.png" $BANNER_X $BANNER_Y $BANNER_W $BANNER_H 128 128 128 2)
[ "$banner" -ge $MIN_BANNER_PIXELS ] || fail "no grey pause banner at the top centre ($banner pixels)"
sleep 1.5
screenshot "$WORK/paused2.png"
[ "$(differing_pixels "$WORK/paused1.png" "$WORK/paused2.png")" -eq 0 ] || fail "the paused picture changed"

# The arrows turn the camera: with stars in view the picture changes; the blown-up cloud may have
# left the view, so the camera is also flown forward with A, which brings up the green speed bar.
xdotool keydown Left; sleep 1; xdotool keyup Left
xdotool keydown Up; sleep 1; xdotool keyup Up
xdotool keydown a; sleep 1; xdotool keyup a
sleep 0.5
screenshot "$WORK/moved.png"
bar=$(count_colour "$WORK/moved.png" 512 $BAR_Y 100 16 0 255 0 8)
[ "$bar" -gt 100 ] || fail "no green speed bar after flying forward ($bar pixels)"
[ "$(differing_pixels "$WORK/paused2.png" "$WORK/moved.png")" -gt 0 ] || fail "the picture did not change"

# Space again resumes: the banner goes and the turns go on.
key space
sleep 1.5
screenshot "$WORK/resumed.png"
banner=$(count_colour "$WORK/resumed.png" $BANNER_X $BANNER_Y $BANNER_W $BANNER_H 128 128 128 2)
[ "$banner" -lt $MIN_BANNER_PIXELS ] || fail "the pause banner stayed after resuming"

# Keep it running until the half minute is full, still drawing.
while [ $(($(date +%s) - start)) -lt $RUN_SECONDS ]; do
  sleep 2
  screenshot "$WORK/now.png"
  [ "$(differing_pixels "$WORK/resumed.png" "$WORK/now.png")" -gt 0 ] || fail "the picture stood still"
  mv "$WORK/now.png" "$WORK/resumed.png"
  alive || fail "the program ended during the run"
done

key Escape
rc=$(wait_exit 20)
[ "$rc" = 0 ] || { tail -n 40 "$WORK/kelvra.out" >&2; fail "Escape ended the program with status $rc"; }
sanitizer_clean
echo "blow-up: ran $(($(date +%s) - start)) s, frames and keys answered, clean exit"
