# Shared helpers of the end-to-end tests: a private Xvfb server, the real program, xdotool input and
# screenshots read back as pixels. Source it; $1 of the test is the path of the kelvra binary.
set -u
KELVRA=${1:?path of the kelvra binary}
KELVRA=$(readlink -f "$KELVRA")
WORK=$(mktemp -d /tmp/kelvra-e2e.XXXXXX)
XVFB_PID=
APP_PID=
# A program run under an emulator (the arm64 build under QEMU) draws several times slower: the test
# sets KELVRA_E2E_SLOWDOWN to stretch the pauses it makes with pause, and the gaps between keys.
SLOWDOWN=${KELVRA_E2E_SLOWDOWN:-1}

# A test that sets KEEP_SHOTS_DIR has its screenshots copied there when it fails, before the cleanup
# removes $WORK, so that the failure can be looked at.
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${KEEP_SHOTS_DIR:-}" ] && compgen -G "$WORK/*.png" >/dev/null; then
    mkdir -p "$KEEP_SHOTS_DIR" && cp "$WORK"/*.png "$KEEP_SHOTS_DIR"/ && echo "screenshots kept in $KEEP_SHOTS_DIR" >&2
  fi
  exit 1
}

cleanup() {
  [ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# start_xvfb [WxH]: starts a private X server on a free display and exports DISPLAY. The server picks
# the display itself (-displayfd) and reports it once it accepts connections, so that tests started
# side by side never end up on one server.
start_xvfb() {
  local size=${1:-1024x768} n
  rm -f "$WORK/display"
  Xvfb -displayfd 9 -screen 0 ${size}x24 -nolisten tcp 9>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    IFS= read -r n 2>/dev/null <"$WORK/display" && { export DISPLAY=:$n; return 0; }
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$WORK/xvfb.log" >&2
  fail "could not start Xvfb"
}

# start_kelvra: runs the program in $WORK (its working directory, for kelvra.log) and waits for its window.
# A wrapper shell records the exit status in $WORK/exit_status, so that wait_exit can read it from
# anywhere, a command substitution included; APP_PID is the program's own process.
start_kelvra() {
  rm -f "$WORK/exit_status" "$WORK/app.pid"
  (
    cd "$WORK" || exit 1
    "$KELVRA" >"$WORK/kelvra.out" 2>&1 &
    echo $! >"$WORK/app.pid"
    wait $!
    echo $? >"$WORK/exit_status"
  ) &
  for _ in $(seq 200); do [ -s "$WORK/app.pid" ] && break; sleep 0.05; done
  APP_PID=$(cat "$WORK/app.pid")
  # Generous: on a loaded two-core machine the first window of a sanitizer build can take a while.
  for _ in $(seq 300); do
    xdotool search --name '^Kelvra$' >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "no Kelvra window appeared"
}

# pause SECONDS: sleeps SECONDS, stretched by the slowdown.
pause() { sleep "$(awk -v s="$1" -v f="$SLOWDOWN" 'BEGIN { print s * f }')"; }

# key NAME...: presses keys one after another, slower than the key delay of 50 ms.
key() {
  for k in "$@"; do xdotool key --delay 120 "$k"; pause 0.08; done
}

# type_answer TEXT: types TEXT into the open prompt and confirms it with Return.
type_answer() {
  local text=$1 i
  for ((i = 0; i < ${#text}; i++)); do
    local c=${text:i:1}
    case "$c" in
      .) key period ;; -) key minus ;; *) key "$c" ;;
    esac
  done
  key Return
}

# screenshot FILE.png: the whole screen.
screenshot() { import -window root "$1"; }

# wait_drawn SECONDS FILE: screenshots into FILE until one shows anything but black, the program's
# first frame; false when none does within SECONDS.
wait_drawn() {
  local n
  for _ in $(seq $(($1 * 5))); do
    screenshot "$2"
    n=$(convert "$2" -colorspace gray -threshold 0 -format '%[fx:round(mean*w*h)]' info:)
    [ "$n" -gt 0 ] && return 0
    sleep 0.2
  done
  return 1
}

# pixel FILE X Y: prints "r g b" of one pixel (0-255).
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# wait_exit SECONDS: waits for the program to end; prints its exit status, or "timeout".
wait_exit() {
  local s=$1
  for _ in $(seq $((s * 10))); do
    [ -s "$WORK/exit_status" ] && { cat "$WORK/exit_status"; return 0; }
    sleep 0.1
  done
  echo timeout
}
