#!/usr/bin/env bash
# Soak: the largest cloud, 10,000 stars, driven for SOAK_SECONDS (75 by default; 600 or more for the
# long run) with random keys and mouse moves through the X server. The program allocates nothing
# while it runs, so its resident memory must stay within a small bound of what it held after the
# first seconds; it must keep answering (window there, picture changing) and end on Escape with 0.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/lib_robust.sh"

SOAK_SECONDS=${SOAK_SECONDS:-75}
WARMUP_SECONDS=15        # resident memory is measured against the level reached by then
RSS_GROWTH_KIB=8192      # allowed growth after the warm-up: 8 MiB
# Under AddressSanitizer the GL driver's per-frame allocations pass through the sanitizer's quarantine
# and allocator caches, which swing the resident size by tens of MiB either way; there the bound only
# catches runaway growth, and LeakSanitizer at exit checks what was not freed.
is_sanitized && RSS_GROWTH_KIB=65536
SAMPLE_SECONDS=5         # memory and picture are looked at this often
STILL_SAMPLES=3          # the picture may stand still for at most this many samples in a row
# Keys the random driver presses: the camera controls and the pause, never Escape.
SOAK_KEYS=(a z q w Left Right Up Down space a z)

start_xvfb 1024x768
start_kelvra
answer_prompts 10000 "" "" 7
expect_stars 10000
alive || fail "the program ended or lost its window after generating 10,000 stars"

# Every X client call of the loop is bounded in time: a client that stalls (seen once, on a loaded
# machine, with the program still answering) must cost one sample, not the whole run.
CLIENT_SECONDS=15
x() { timeout -k 2 "$CLIENT_SECONDS" "$@"; }
alive() { kill -0 "$APP_PID" 2>/dev/null && { x xdotool search --name '^Kelvra$' >/dev/null 2>&1 ||
                                              x xdotool search --name '^Kelvra$' >/dev/null 2>&1; }; }

RANDOM=7
# One random input: a short key press, or a mouse move to a random point of the window.
random_input() {
  if [ $((RANDOM % 3)) -eq 0 ]; then
    x xdotool mousemove $((RANDOM % 1024)) $((RANDOM % 768))
  else
    local k=${SOAK_KEYS[$((RANDOM % ${#SOAK_KEYS[@]}))]}
    x xdotool keydown "$k"; sleep 0.$((RANDOM % 4 + 1)); x xdotool keyup "$k"
  fi
}

start=$(date +%s)
baseline=
peak=0
still=0
samples=0
next_sample=$((start + SAMPLE_SECONDS))
screenshot "$WORK/prev.png"
while [ $(($(date +%s) - start)) -lt "$SOAK_SECONDS" ]; do
  random_input
  sleep 0.3
  now=$(date +%s)
  [ "$now" -lt "$next_sample" ] && continue
  next_sample=$((now + SAMPLE_SECONDS))
  alive || fail "the program ended or lost its window after $((now - start)) s"
  rss=$(rss_kib)
  [ $((now - start)) -ge $WARMUP_SECONDS ] && [ -z "$baseline" ] && baseline=$rss
  [ -n "$baseline" ] && [ "$rss" -gt "$peak" ] && peak=$rss
  if ! x import -window root "$WORK/now.png"; then
    echo "soak: $((now - start)) s, screenshot timed out; sample skipped"
    continue
  fi
  if [ "$(differing_pixels "$WORK/prev.png" "$WORK/now.png")" -eq 0 ]; then
    still=$((still + 1))
    [ $still -le $STILL_SAMPLES ] || fail "the picture stood still for $((still * SAMPLE_SECONDS)) s"
  else
    still=0
  fi
  mv "$WORK/now.png" "$WORK/prev.png"
  samples=$((samples + 1))
  echo "soak: $((now - start)) s, VmRSS ${rss} KiB"
done

[ -n "$baseline" ] || fail "the run was too short to measure memory after the warm-up"
growth=$((peak - baseline))
[ $growth -le $RSS_GROWTH_KIB ] || fail "resident memory grew by $growth KiB after the warm-up (bound $RSS_GROWTH_KIB KiB)"

# A pause may be in force: Escape ends the program either way.
xdo "Escape to quit" key Escape
rc=$(wait_exit "$STEP_SECONDS")
[ "$rc" = 0 ] || { tail -n 40 "$WORK/kelvra.out" >&2; fail "Escape ended the program with status $rc"; }
sanitizer_clean
echo "soak: $SOAK_SECONDS s, $samples samples, VmRSS $baseline KiB after warm-up, peak $peak KiB (+$growth KiB), clean exit"
