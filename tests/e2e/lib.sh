# Shared helpers of the end-to-end tests: a private Xvfb server, the real program, xdotool input and
# screenshots read back as pixels. Every step waits for the state it expects, read back from the
# screen, and fails at once naming the step when it does not come. Source it; $1 of the test is the
# path of the kelvra binary.
set -u
KELVRA=${1:?path of the kelvra binary}
KELVRA=$(readlink -f "$KELVRA")
WORK=$(mktemp -d /tmp/kelvra-e2e.XXXXXX)
XVFB_PID=
APP_PID=
# A program run under an emulator (the arm64 build under QEMU, or Wine) draws several times slower:
# the test sets KELVRA_E2E_SLOWDOWN to stretch how long a step may take, the gap after each key and
# the pauses it makes with pause.
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
# side by side never end up on one server. It never resets: by default an X server resets whenever
# its last client leaves (a program that ended, an xdotool that polled) and refuses connections
# while it does, so that a program started just then could not ask the screen's size.
start_xvfb() {
  local size=${1:-1024x768} n
  rm -f "$WORK/display"
  Xvfb -displayfd 9 -screen 0 ${size}x24 -nolisten tcp -noreset 9>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    IFS= read -r n 2>/dev/null <"$WORK/display" && { export DISPLAY=:$n; SCREEN_W=${size%x*} SCREEN_H=${size#*x}; return 0; }
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

# pause SECONDS: sleeps SECONDS, stretched by the slowdown. Only for what must last a while (a key held,
# a picture that must stand still): steps wait for the state they expect with wait_for instead.
pause() { sleep "$(awk -v s="$1" -v f="$SLOWDOWN" 'BEGIN { print s * f }')"; }

# The longest one step may take before the test fails naming it: generous, since a sanitizer build
# traced by strace on a loaded two-core machine takes its messages slowly; stretched by the slowdown.
STEP_SECONDS=$(awk -v f="$SLOWDOWN" 'BEGIN { print int(30 * f + 0.5) }')
# Between an answer seen on the screen and the next key: more than the program's key delay of 50 ms,
# within which a second press of one key is dropped as auto-repeat.
KEY_GAP=$(awk -v f="$SLOWDOWN" 'BEGIN { print 0.1 * f }')

# app_ended: true once the program's exit status is recorded.
app_ended() { [ -s "$WORK/exit_status" ]; }

# wait_for STEP COMMAND...: runs COMMAND until it succeeds; fails naming STEP when the program ends
# first or STEP_SECONDS pass.
wait_for() {
  local step=$1 end=$((SECONDS + STEP_SECONDS))
  shift
  until "$@"; do
    app_ended && fail "$step: the program ended with status $(cat "$WORK/exit_status") instead"
    [ $SECONDS -lt $end ] || fail "$step: not seen within $STEP_SECONDS s"
    sleep 0.1
  done
}

# xdo STEP ARGUMENT...: one xdotool command, which must succeed.
xdo() {
  local step=$1
  shift
  xdotool "$@" || fail "$step: xdotool $* failed with status $?"
}

# ---- The setup prompts as drawn: a box centred in the window, outlined in rgb(204,204,0), the title
# in grey and the text in green, in font 3 (24 pixels, an advance of 0.588 of that). A box is as wide
# as its title, its longest text and three characters more, so its left edge tells the prompts apart.
PROMPT_SIZE=24
PROMPT_ADVANCE=14.112
PROMPT_TITLES=(16 20 17 24)   # "Stars (1-10000):", "Size (radius) in ly:", "Delta T in years:", "Seed (empty for random):"
PROMPT_MAXLN=(10 15 10 20)
PROMPT_NAMES=("star count" radius "time step" seed)

# shot: screenshots the whole screen into $WORK/now.png.
shot() { import -window root "$WORK/now.png" 2>/dev/null; }

# box_left FILE: the leftmost column holding the prompt outline's colour both in the window's middle
# row and 20 rows above it (the box's left side, not a yellow star), or -1.
box_left() {
  convert "$1" -crop "${SCREEN_W}x21+0+$((SCREEN_H / 2 - 20))" +repage -depth 8 txt:- |
    awk -F'[(),:]' 'NR > 1 && ($2 == 0 || $2 == 20) && $4 >= 194 && $4 <= 214 && $5 >= 194 && $5 <= 214 && $6 <= 10 {
                      if (++n[$1 + 0] == 2 && (m == "" || $1 + 0 < m)) m = $1 + 0 }
                    END { print m == "" ? -1 : m }'
}

# prompt_left I: where the outline of prompt I (0 to 3) begins.
prompt_left() {
  awk -v w="$SCREEN_W" -v n=$((PROMPT_TITLES[$1] + PROMPT_MAXLN[$1] + 3)) -v a=$PROMPT_ADVANCE -v s=$PROMPT_SIZE \
    'BEGIN { print int(w / 2 - n * a / 2 - 0.2 * s - 1.5) }'
}

# on_prompt I: a fresh screenshot shows prompt I.
on_prompt() {
  local x
  shot || return 1
  x=$(box_left "$WORK/now.png")
  [ "$x" -ge 0 ] && [ $((x - $(prompt_left "$1"))) -le 3 ] && [ $(($(prompt_left "$1") - x)) -le 3 ]
}

# prompt_text_length I: characters of green text in prompt I on $WORK/now.png.
prompt_text_length() {
  local vx y=$((SCREEN_H / 2 - 30))
  vx=$(awk -v l="$(prompt_left "$1")" -v t="${PROMPT_TITLES[$1]}" -v a=$PROMPT_ADVANCE 'BEGIN { print l + 1.5 + a + (t + 1) * a }')
  convert "$WORK/now.png" -crop "${SCREEN_W}x36+0+$y" +repage -depth 8 txt:- |
    awk -F'[(),:]' -v vx="$vx" -v a=$PROMPT_ADVANCE '
      NR > 1 && $5 >= 60 && 2 * $4 < $5 && 2 * $6 < $5 && $1 >= vx { c = int(($1 - vx) / a) + 1; if (c > n) n = c }
      END { print n + 0 }'
}

# in_evolution: a fresh screenshot shows the star field's overlay (its yellow key lines) and no prompt.
in_evolution() {
  shot || return 1
  [ "$(box_left "$WORK/now.png")" = -1 ] &&
    [ "$(convert "$WORK/now.png" -crop 450x48+0+53 +repage -fuzz 1% -fill black +opaque "rgb(255,255,0)" \
        -colorspace gray -threshold 50% -format '%[fx:round(mean*w*h)]' info:)" -ge 100 ]
}

# band FILE OUT: the band of rows the prompt box covers, as raw pixels.
band() {
  convert "$1" -crop "${SCREEN_W}x60+0+$((SCREEN_H / 2 - 42))" +repage -depth 8 "rgb:$2"
}

# band_changed: a fresh screenshot's prompt band differs from $WORK/before.rgb.
band_changed() {
  shot || return 1
  band "$WORK/now.png" "$WORK/after.rgb" && ! cmp -s "$WORK/before.rgb" "$WORK/after.rgb"
}

# key_answered: the band changed, or the program ended (as Escape ends it outside the prompts).
key_answered() { app_ended || band_changed; }

# key NAME...: presses keys in an open prompt one at a time, each only after the one before has shown
# on the screen (the text, the cursor or the next prompt changed); fails naming the key otherwise.
# Nothing is ever sent twice: a key lost is a failure, not something to paper over. Within one prompt
# the band seen after a key is the one the next key must change.
BAND_KNOWN=0
key() {
  local k
  for k in "$@"; do
    if [ $BAND_KNOWN = 1 ]; then
      mv "$WORK/after.rgb" "$WORK/before.rgb"
    else
      shot || fail "screenshot before the key $k"
      band "$WORK/now.png" "$WORK/before.rgb" || fail "reading the prompt before the key $k"
    fi
    sleep "$KEY_GAP"
    xdo "key $k" key "$k"
    BAND_KNOWN=0
    wait_for "the key $k in the prompt" key_answered
    case $k in Return | KP_Enter | Escape) ;; *) BAND_KNOWN=1 ;; esac
  done
}

# type_text TEXT: types TEXT into the open prompt, key by key as key does.
type_text() {
  local text=$1 i
  for ((i = 0; i < ${#text}; i++)); do
    case "${text:i:1}" in
      .) key period ;; -) key minus ;; *) key "${text:i:1}" ;;
    esac
  done
}

# type_answer TEXT: types TEXT and confirms it with Return.
type_answer() {
  type_text "$1"
  key Return
}

# answer_prompt I TEXT [INITIAL_LENGTH]: waits for prompt I, erases its initial text and types TEXT,
# reads the length of the text back, and confirms it; an empty TEXT keeps the initial text.
answer_prompt() {
  local i=$1 text=$2 initial=${3:-0}
  wait_for "the ${PROMPT_NAMES[$i]} prompt" on_prompt "$i"
  if [ -n "$text" ]; then
    for _ in $(seq "$initial"); do key BackSpace; done
    type_text "$text"
    shot || fail "screenshot of the typed ${PROMPT_NAMES[$i]}"
    [ "$(prompt_text_length "$i")" = ${#text} ] ||
      fail "the ${PROMPT_NAMES[$i]} prompt shows $(prompt_text_length "$i") characters, not the ${#text} of \"$text\""
  fi
  key Return
}

# answer_prompts STARS RADIUS DELTA_T SEED: answers the four prompts (an empty answer keeps the initial
# text: erasing it first would make it a different answer) and waits for the star field.
answer_prompts() {
  local -a initials=(4 2 5 0)  # lengths of "1500", "40", "20000" and of the empty seed
  local i=0 answer
  for answer in "$@"; do
    answer_prompt $i "$answer" "${initials[$i]}"
    i=$((i + 1))
  done
  wait_for "the star field after the prompts" in_evolution
}

# overlay_length FILE LINE: characters of overlay line LINE (from 0; baseline 25 + 24 LINE) in the
# value lines' pure blue, one cell per advance from x = 1; blanks inside the line do not matter, and
# a star drifting behind the line is not that blue.
overlay_length() {
  convert "$1" -crop "600x23+0+$((7 + 24 * $2))" +repage -depth 8 txt:- |
    awk -F'[(),:]' -v a=$PROMPT_ADVANCE '
      NR > 1 && $4 <= 2 && $5 <= 2 && $6 >= 253 { cell = int(($1 - 1) / a); off = ($1 - 1) - cell * a
                                                  if (off >= 3 && off <= a - 3 && cell + 1 > n) n = cell + 1 }
      END { print n + 0 }'
}

# expect_stars N: the overlay's star line reads "Stars   = N" (its length; the digits typed were each
# seen arriving in the prompt).
expect_stars() {
  shot || fail "screenshot of the overlay"
  local n
  n=$(overlay_length "$WORK/now.png" 4)
  [ "$n" = $((10 + ${#1})) ] || fail "the overlay's star line is $n characters long, not that of \"Stars   = $1\""
}

# screenshot FILE.png: the whole screen.
screenshot() { import -window root "$1"; }

# pixel FILE X Y: prints "r g b" of one pixel (0-255).
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# count_colour FILE X Y W H R G B [TOL]: pixels of the region with that colour, within TOL (2 unless
# given) a channel.
count_colour() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- |
    awk -v r="$6" -v g="$7" -v b="$8" -v t="${9:-2}" -F'[(),]' '
      NR > 1 { dr = $3 - r; dg = $4 - g; db = $5 - b
               if (dr <= t && dr >= -t && dg <= t && dg >= -t && db <= t && db >= -t) n++ }
      END { print n + 0 }'
}

# differing FILE1 FILE2: pixels that differ between two images of one size.
differing() {
  compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# banner_shown, banner_gone: a fresh screenshot shows the grey pause banner centred on the first
# baseline, or none of it.
banner_shown() { shot && [ "$(count_colour "$WORK/now.png" 420 4 190 26 128 128 128 2)" -ge 40 ]; }
banner_gone() { shot && [ "$(count_colour "$WORK/now.png" 420 4 190 26 128 128 128 2)" -eq 0 ]; }

# wait_exit SECONDS: waits for the program to end; prints its exit status, or "timeout".
wait_exit() {
  local s=$1
  for _ in $(seq $((s * 10))); do
    [ -s "$WORK/exit_status" ] && { cat "$WORK/exit_status"; return 0; }
    sleep 0.1
  done
  echo timeout
}

# ---- Frames and the view's turn, read from the star field: the mouse turns the camera 0.15 degrees a pixel.

# shoot NAME: a screenshot ($WORK/full-NAME.png), cut into the star field below the overlay
# ($WORK/field-NAME.png) and the overlay's turn line with only its blue ink kept ($WORK/turn-NAME.png).
# The turn count goes up with every turn, so a turn line that changed tells a frame drawn later; a
# star behind it is not that blue.
shoot() {
  screenshot "$WORK/full-$1.png" || return 1
  convert "$WORK/full-$1.png" -crop 1024x340+0+400 +repage "$WORK/field-$1.png" &&
    convert "$WORK/full-$1.png" -crop 600x23+0+175 +repage -fuzz 1% -fill black +opaque "rgb(0,0,255)" "$WORK/turn-$1.png"
}

# wait_still NAME: waits until the view keeps still from one new frame to the next, and leaves that
# screenshot in $WORK/full-a.png and its field in $WORK/field-a.png; fails naming NAME when the field
# still changed after STILL_FRAMES new frames, or when no new frame comes within a step's time. Two
# screenshots alike prove nothing while a turn outlasts them: they may both show the frame drawn before
# the motion was taken. Motion that came before the first screenshot shows from the second frame after
# it on (the one after it may have been drawn before the program took that motion), so the field is
# compared from that frame on.
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
    for f in full field turn; do mv "$WORK/$f-b.png" "$WORK/$f-a.png"; done
  done
  fail "$1: the view was still turning $STILL_FRAMES frames after the first screenshot"
}

# view_yaw BEFORE AFTER: the degrees the view turned to the right between two screenshots of a still
# cloud. A turn about the camera's up axis moves every star's bearing by the same angle, so the
# brightness of each column of a band of rows below the overlay, read at the bearing the turn takes
# it to, must match: the angle whose match is best, tried in steps of 0.1 degrees and then of 0.005
# about the best, is the turn. The field of view is 45 degrees high.
view_yaw() {
  local profile
  profile() {
    convert "$1" -crop "${SCREEN_W}x100+0+400" +repage -colorspace gray -scale "${SCREEN_W}x1!" -depth 16 txt:- |
      sed -n 's/^\([0-9]*\),0: (\([0-9.]*\).*/\1 \2/p'
  }
  { profile "$1" | sed 's/^/b /'; profile "$2" | sed 's/^/a /'; } |
    awk -v w="$SCREEN_W" -v h="$SCREEN_H" '
      $1 == "b" { b[$2] = $3 } $1 == "a" { a[$2] = $3 }
      function score(t,   i, x, k, fr, v, d, s, n) {
        for (i = 0; i < w; i++) {
          x = f * sin(bearing[i] + t) / cos(bearing[i] + t) + w / 2 - 0.5
          if (bearing[i] + t >= 1.5 || bearing[i] + t <= -1.5 || x < 0 || x > w - 1) continue
          k = int(x); fr = x - k
          v = b[k] + (k + 1 < w ? (b[k + 1] - b[k]) * fr : 0)
          d = a[i] - v; s += d * d; n++
        }
        return n > w / 2 ? s / n : 1e300
      }
      END {
        pi = atan2(0, -1); f = h / 2 / (sin(pi / 8) / cos(pi / 8))
        for (i = 0; i < w; i++) bearing[i] = atan2(i + 0.5 - w / 2, f)
        best = 0; low = score(0)
        for (d = -40; d <= 40; d += 0.1) { s = score(d * pi / 180); if (s < low) { low = s; best = d } }
        coarse = best
        for (d = coarse - 0.15; d <= coarse + 0.15; d += 0.005) { s = score(d * pi / 180); if (s < low) { low = s; best = d } }
        printf "%.3f\n", best
      }'
}

# In a browser: when KELVRA_E2E_BROWSER names the browser driver (tests/web/browser.py), the program is
# a page, and the steps above take their screenshots and send their input through the driver.
[ -z "${KELVRA_E2E_BROWSER:-}" ] || . "$(dirname "${BASH_SOURCE[0]}")/../web/lib_browser.sh"
