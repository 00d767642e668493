# The browser back end of lib.sh, which sources it when KELVRA_E2E_BROWSER names the browser driver
# (tests/web/browser.py): the program is the page in build-web/ ($1 of the test, in KELVRA), served on
# 127.0.0.1 and run in headless Chromium, and the steps of lib.sh take their screenshots and send their
# input through the driver. KELVRA_E2E_FLAVOUR picks the program the page must run: threads (served
# cross-origin isolated) or single (served as an ordinary web server does).
FLAVOUR=${KELVRA_E2E_FLAVOUR:-threads}
SERVE_WEB=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd)/serve-web
BROWSER_PID=
SERVER_PID=
PAGE_URL=

# browser COMMAND...: one command to the driver; prints the value it answers, if any, and returns 1
# when it answers an error, which goes to standard error. A driver that does not answer fails the test.
browser() {
  local reply
  echo "$*" >&"$BROWSER_IN"
  if ! IFS= read -r -t "$STEP_SECONDS" reply <&"$BROWSER_OUT"; then
    kill -0 "$BROWSER_PID" 2>/dev/null || { tail -n 20 "$WORK/browser.err" >&2; fail "the browser driver ended at \"$*\""; }
    fail "the browser driver did not answer \"$*\" within $STEP_SECONDS s"
  fi
  case $reply in
    ok) ;;
    "ok "*) echo "${reply#ok }" ;;
    *) echo "browser: $*: ${reply#error }" >&2; return 1 ;;
  esac
}

shot() { browser shot "$WORK/now.png"; }
screenshot() { browser shot "$1"; }

# xdo STEP ARGUMENT...: xdotool's key, keydown, keyup, mousemove_relative and click, through the page.
xdo() {
  local step=$1
  shift
  browser "$@" >/dev/null || fail "$step: $* failed in the browser"
}

# page_state: "STATE FLAVOUR LOCK SCREEN", as the driver's state command answers.
page_state() { browser state; }

# start_xvfb [1024x768]: starts the driver, whose viewport stands for the screen; it has one size.
start_xvfb() {
  [ "${1:-1024x768}" = 1024x768 ] || fail "the browser's viewport is 1024x768, not $1"
  SCREEN_W=1024 SCREEN_H=768
  mkfifo "$WORK/browser.in" "$WORK/browser.out" || fail "could not make the driver's FIFOs"
  python3 "$KELVRA_E2E_BROWSER" "$WORK/browser.in" "$WORK/browser.out" --ended "$WORK/exit_status" \
    2>"$WORK/browser.err" &
  BROWSER_PID=$!
  # Read and write: opening a FIFO so never waits for the other side, and the driver sees the end
  # of its commands when this shell ends, however it ends.
  exec {BROWSER_IN}<>"$WORK/browser.in" {BROWSER_OUT}<>"$WORK/browser.out"
}

# serve: serves the page, isolated or not as the flavour needs, and sets PAGE_URL.
serve() {
  local isolation=()
  [ "$FLAVOUR" = threads ] || isolation=(--no-isolation)
  python3 "$SERVE_WEB" --port 0 "${isolation[@]}" "$KELVRA" >"$WORK/serve.out" 2>"$WORK/serve.log" \
    {BROWSER_IN}>&- {BROWSER_OUT}>&- &
  SERVER_PID=$!
  for _ in $(seq 100); do
    read -r _ PAGE_URL _ 2>/dev/null <"$WORK/serve.out" && [ -n "$PAGE_URL" ] && return 0
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$WORK/serve.log" >&2
  fail "could not serve $KELVRA"
}

# page_running: the page runs the program.
page_running() { [ "$(page_state | cut -d' ' -f1)" = running ]; }

# start_kelvra: opens the page afresh and waits until it runs the program of the flavour asked for.
start_kelvra() {
  [ -n "$SERVER_PID" ] || serve
  rm -f "$WORK/exit_status"
  browser open "$PAGE_URL" || fail "could not open $PAGE_URL"
  wait_for "the page running the program" page_running
  local flavour
  flavour=$(page_state | cut -d' ' -f2)
  [ "$flavour" = "$FLAVOUR" ] || fail "the page runs the $flavour program, not the $FLAVOUR one"
}

# The driver ends with the session; a failed test shows the console's last messages.
cleanup() {
  local status=$?
  if [ -n "$BROWSER_PID" ]; then
    [ $status = 0 ] || { browser log "$WORK/console.log" && echo "browser console, last lines:" >&2 &&
                           tail -n 30 "$WORK/console.log" >&2; }
    echo quit >&"$BROWSER_IN"
    for _ in $(seq 100); do kill -0 "$BROWSER_PID" 2>/dev/null || break; sleep 0.1; done
    kill "$BROWSER_PID" 2>/dev/null
  fi
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
