#!/usr/bin/env bash
# The display goes away under a running program: the X server is killed once while a prompt is open
# and once while a cloud evolves. Each time the program must end by itself within a few seconds, by an
# exit rather than a crash signal or an abort, and without a sanitizer report.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/lib_robust.sh"

# Time the program has to notice the lost display and end: a few seconds, more on a loaded machine.
END_SECONDS=$((STEP_SECONDS / 2))

# lose_display WHEN: kills the X server and checks how the program ended.
lose_display() {
  local when=$1
  kill -9 "$XVFB_PID"
  wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
  local rc
  rc=$(wait_exit $END_SECONDS)
  [ "$rc" != timeout ] || fail "the program hung after losing its display $when"
  [ "$rc" -lt 128 ] || { tail -n 40 "$WORK/kelvra.out" >&2; fail "the program died of signal $((rc - 128)) after losing its display $when"; }
  sanitizer_clean
  grep -q 'Aborted\|core dumped' "$WORK/kelvra.out" && fail "the program aborted after losing its display $when"
  echo "window loss $when: ended with status $rc"
  APP_PID=
}

start_xvfb 1024x768
start_kelvra
wait_for "the star count prompt" on_prompt 0
lose_display "in the star prompt"

start_xvfb 1024x768
start_kelvra
answer_prompts 1000 "" "" 5
expect_stars 1000
lose_display "during the evolution"
