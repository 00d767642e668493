#!/usr/bin/env bash
# The page end to end in headless Chromium, through the desktop tests' own steps (tests/e2e/lib.sh with
# its browser back end): the first prompt at its place, the star count typed on the numeric pad and the
# other answers on the main keys, the star field with its overlay, turns counted on, mouse look through
# the locked pointer turning the view by the motion made, Space pausing, and Escape ending the run
# with the page's closing message.
# Usage: test_page.sh BUILD_WEB_DIR FLAVOUR   FLAVOUR threads: served cross-origin isolated, where the
# page must pick the program that computes on threads; single: served without the isolation headers,
# where it must pick the one that computes on the main thread alone.
# KELVRA_E2E_BROWSER may name another driver than browser.py beside this script.
export KELVRA_E2E_BROWSER=${KELVRA_E2E_BROWSER:-$(cd "$(dirname "$0")" && pwd)/browser.py}
export KELVRA_E2E_FLAVOUR=${2:?threads or single}
. "$(dirname "$0")/../e2e/lib.sh" "${1:?the directory of the built page}"
KEEP_SHOTS_DIR=$KELVRA/e2e-artifacts/test_page-$FLAVOUR
rm -rf "$KEEP_SHOTS_DIR"
STARS=1500
# The flurry whose turn is measured: moves of 2 pixels, 0.15 degrees each, by as much as the desktop's
# turn may miss its motion.
FLURRY_MOVES=40
DEGREES_PER_PIXEL=0.15
TURN_TOLERANCE=0.03

start_xvfb
start_kelvra
wait_for "the star count prompt on the start screen" on_prompt 0
key BackSpace BackSpace BackSpace BackSpace KP_1 KP_5 KP_0 KP_0
shot || fail "screenshot of the typed star count"
[ "$(prompt_text_length 0)" = 4 ] || fail "the star count prompt shows $(prompt_text_length 0) characters, not 4"
key Return
# Delta T is tiny so that the stars keep still and only the camera changes the picture.
answer_prompt 1 ""
answer_prompt 2 0.01 5
answer_prompt 3 7
wait_for "the star field after the prompts" in_evolution
expect_stars $STARS

# The click gives the page the pointer, locked once the button is up; the first move after the lock
# carries no motion, so one is made before the field is taken as the start.
pointer_locked() { [ "$(page_state | cut -d' ' -f3)" = locked ]; }
xdo "click on the page" click 1
wait_for "the pointer locked after a click" pointer_locked
xdo "the first move" mousemove_relative -- 1 0
wait_still "before the flurry (the turn count going on)"
cp "$WORK/full-a.png" "$WORK/full-before.png"
for _ in $(seq $FLURRY_MOVES); do xdo "mouse move" mousemove_relative -- 2 0; done
wait_still "after a flurry of $FLURRY_MOVES moves"
yaw=$(view_yaw "$WORK/full-before.png" "$WORK/full-a.png")
share=$(awk -v y="$yaw" -v n=$FLURRY_MOVES -v d=$DEGREES_PER_PIXEL 'BEGIN { printf "%.3f", y / (2 * n * d) }')
awk -v s="$share" -v t=$TURN_TOLERANCE 'BEGIN { exit !(s >= 1 - t && s <= 1 + t) }' ||
  fail "a flurry of $FLURRY_MOVES moves of 2 pixels turned the view by $yaw degrees, $share of the motion"

xdo "Space to pause" key space
wait_for "the pause banner after Space" banner_shown

# Escape ends the program, and the page says so in grey text where the canvas was: the page shows
# its message as it marks itself ended, so the next screenshot has it.
xdo "Escape to quit" key Escape
status=$(wait_exit "$STEP_SECONDS")
[ "$status" = 0 ] || fail "Escape did not end the program with status 0 (got $status)"
[ "$(page_state | cut -d' ' -f1)" = ended ] || fail "the page is $(page_state | cut -d' ' -f1), not ended, after the program"
shot || fail "screenshot of the ended page"
message=$(count_colour "$WORK/now.png" 250 340 524 30 204 204 204 40)
[ "$message" -ge 200 ] || fail "the page's closing message: $message grey pixels where it stands"
echo "PASS ($FLAVOUR: $STARS stars; a flurry turned the view by $share of its motion)"
