#!/usr/bin/env bash
# Start and end of the real program in its own X server: the window titled Kelvra covers the screen
# the server has, the start-up removes the previous run's log, and every way of asking the program
# to close (the window's close request, as a window manager sends it, and SIGTERM) ends it with
# status 0, during the prompts and in the evolution state (its overlay read back) alike, running,
# paused or minimised.
source "$(dirname "$0")/lib.sh" "$1"

# What a window manager does when the user clicks a close button: a WM_DELETE_WINDOW client message.
cat >"$WORK/close_window.cpp" <<'EOF'
#include <X11/Xlib.h>
#include <cstdlib>
int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const Window window = std::strtoul(argv[1], nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return 0;
}
EOF
g++ -o "$WORK/close_window" "$WORK/close_window.cpp" -lX11 || fail "cannot build the close helper"

window_id() { xdotool search --name '^Kelvra$' 2>/dev/null | head -n 1; }

# lit_pixels FILE: pixels of the screenshot that are not black.
lit_pixels() { convert "$1" -colorspace gray -threshold 0 -format '%[fx:round(mean*w*h)]' info:; }

# expect_ended HOW: the program must end with status 0 and its window must be gone.
expect_ended() {
  local rc
  # Not in a command substitution: only this shell can wait for its child's status.
  wait_exit "$STEP_SECONDS" >"$WORK/status"
  rc=$(cat "$WORK/status")
  [ "$rc" = 0 ] || fail "$1: exit status $rc (expected 0); output: $(cat "$WORK/kelvra.out")"
  [ -z "$(window_id)" ] || fail "$1: the window is still there"
}

# A screen that is not the common 1024 x 768, so that the size must come from the display.
start_xvfb 800x600

echo "stale line of an earlier run" >"$WORK/kelvra.log"
start_kelvra
id=$(window_id)
geometry=$(xdotool getwindowgeometry "$id")
grep -q "Position: 0,0" <<<"$geometry" || fail "window not at the origin: $geometry"
grep -q "Geometry: 800x600" <<<"$geometry" || fail "window not the screen's size: $geometry"
[ ! -e "$WORK/kelvra.log" ] || fail "the previous run's log was not removed"

# The first frames: the start screen with the star-count prompt.
wait_for "the star count prompt on the start screen" on_prompt 0
lit=$(lit_pixels "$WORK/now.png")
[ "$lit" -gt 500 ] || fail "nothing drawn on the start screen ($lit lit pixels)"

# Closing the window while the first prompt is open.
"$WORK/close_window" "$id" || fail "cannot send the close request"
expect_ended "close during the prompts"

# SIGTERM is a close request as well.
start_kelvra
wait_for "the star count prompt before SIGTERM" on_prompt 0
kill -TERM "$APP_PID"
expect_ended "SIGTERM during the prompts"

# Through the four prompts into the evolution state with a small cloud, then close.
start_kelvra
answer_prompts 200 "" "" ""
expect_stars 200
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended before it was asked to: $(cat "$WORK/kelvra.out")"
"$WORK/close_window" "$(window_id)" || fail "cannot send the close request"
expect_ended "close during the evolution"

# A minimised program draws nothing and waits for window messages alone, so it takes no processor
# time; a close request and SIGTERM still end it. A window manager minimising a window marks it
# hidden. (Under Wine $APP_PID is the stand-in script, whose own time stands still anyway.)
minimise() {
  xprop -id "$(window_id)" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN || fail "cannot mark the window hidden"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$APP_PID/stat" 2>/dev/null; }
at_rest() {
  local before
  before=$(cpu_ticks) || return 1
  sleep 0.5
  [ "$(cpu_ticks)" = "$before" ]
}
banner_shown() {
  shot && [ "$(convert "$WORK/now.png" -crop "${SCREEN_W}x26+0+4" +repage -fill black +opaque "rgb(128,128,128)" \
    -colorspace gray -threshold 0 -format '%[fx:round(mean*w*h)]' info:)" -ge 40 ]
}

start_kelvra
wait_for "the star count prompt before minimising" on_prompt 0
minimise
wait_for "the minimised prompt at rest" at_rest
kill -TERM "$APP_PID"
expect_ended "SIGTERM while minimised during the prompts"

start_kelvra
answer_prompts 200 "" "" ""
expect_stars 200
xdo "Space to pause" key space
wait_for "the pause banner after Space" banner_shown
minimise
wait_for "the paused and minimised program at rest" at_rest
"$WORK/close_window" "$(window_id)" || fail "cannot send the close request"
expect_ended "close while paused and minimised"

echo "PASS"
