#!/usr/bin/env bash
# What Kelvra costs while it waits: the processor time of the whole real program (every thread) per
# second of wall-clock time, and the frames it presents a second, over SECONDS in each state: the
# first prompt with nothing typed, 1,500 stars running, the same paused with the camera still, and
# minimised. It runs in its own Xvfb of 1024 x 768 (Mesa's llvmpipe draws on the processor) with the
# frame counter of rest/frame_count.cpp preloaded.
# Usage: bench/bench_rest.sh [BUILD_DIR] [SECONDS]
set -u
BUILD=$(readlink -f "${1:-build}")
SECONDS_EACH=${2:-10}
KELVRA=$BUILD/kelvra
COUNTER_LIB=$BUILD/bench/libframe_count.so
[ -x "$KELVRA" ] && [ -f "$COUNTER_LIB" ] || { echo "bench_rest: build kelvra and frame_count in $BUILD first" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kelvra-rest.XXXXXX)
XVFB_PID=
APP_PID=
TICKS_PER_SECOND=$(getconf CLK_TCK)

cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
die() { echo "bench_rest: $*" >&2; exit 1; }

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do IFS= read -r n 2>/dev/null <"$WORK/display" && break; sleep 0.1; done
[ -n "${n:-}" ] || die "could not start Xvfb"
export DISPLAY=:$n

(cd "$WORK" && exec env LD_PRELOAD="$COUNTER_LIB" KELVRA_FRAME_COUNT="$WORK/frames" "$KELVRA") >"$WORK/kelvra.out" 2>&1 &
APP_PID=$!
for _ in $(seq 300); do xdotool search --name '^Kelvra$' >/dev/null 2>&1 && break; sleep 0.1; done
WINDOW=$(xdotool search --name '^Kelvra$' | head -n 1)
[ -n "$WINDOW" ] || die "no Kelvra window appeared"

ticks() { awk '{ print $14 + $15 }' "/proc/$APP_PID/stat"; }
frames() { od -An -t u8 -N8 "$WORK/frames" 2>/dev/null | tr -d ' ' || echo 0; }
now_ns() { date +%s%N; }

# measure NAME: cores and frames a second over SECONDS_EACH.
measure() {
  kill -0 "$APP_PID" 2>/dev/null || die "the program ended before \"$1\""
  local t0 c0 f0 t1 c1 f1
  t0=$(now_ns) c0=$(ticks) f0=$(frames)
  sleep "$SECONDS_EACH"
  t1=$(now_ns) c1=$(ticks) f1=$(frames)
  awk -v name="$1" -v dc=$((c1 - c0)) -v df=$((f1 - f0)) -v dt=$((t1 - t0)) -v hz="$TICKS_PER_SECOND" \
    'BEGIN { s = dt / 1e9; printf "%-34s %5.2f cores  %6.1f frames/s\n", name, dc / hz / s, df / s }'
}

echo "Kelvra at rest, 1024 x 768 under Xvfb (llvmpipe), ${SECONDS_EACH} s each:"
sleep 2
measure "first prompt, nothing typed"
# The four prompts with their defaults: 1,500 stars.
xdotool key --delay 200 Return Return Return Return
sleep 3
measure "1,500 stars, running"
xdotool key space
sleep 1
measure "1,500 stars, paused, camera still"
# What a window manager does when the window is minimised: it marks the window hidden.
xprop -id "$WINDOW" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN
sleep 1
measure "minimised (paused)"
xprop -id "$WINDOW" -remove _NET_WM_STATE
xdotool key Escape
for _ in $(seq 50); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$APP_PID" 2>/dev/null && die "Escape did not end the program"
APP_PID=
