#!/usr/bin/env bash
# The setup prompts end to end: the start screen with the first prompt box, the answers typed with
# xdotool (the star count on the numeric pad), the second prompt replacing the first, then the star
# field with its overlay showing the answers, the pause banner, the mouse and a held arrow key turning
# the paused view, the speed bar while flying, and Escape ending the program with status 0. Screenshots
# are kept in $KELVRA_SHOTS when that is set, and beside the binary in e2e-artifacts/test_prompts when a
# check fails.
. "$(dirname "$0")/lib.sh"

SHOTS=${KELVRA_SHOTS:-$WORK}
mkdir -p "$SHOTS"
KEEP_SHOTS_DIR=$(dirname "$KELVRA")/e2e-artifacts/test_prompts
rm -rf "$KEEP_SHOTS_DIR"

# rightmost FILE Y H R G B: the rightmost column of a band of rows holding that colour, -1 if none.
rightmost() {
  convert "$1" -crop "1024x${3}+0+${2}" +repage -depth 8 txt:- |
    awk -v r="$4" -v g="$5" -v b="$6" -F'[(),:]' '
      NR > 1 { dr = $4 - r; dg = $5 - g; db = $6 - b
               if (dr <= 2 && dr >= -2 && dg <= 2 && dg >= -2 && db <= 2 && db >= -2 && $1 + 0 > m) m = $1 + 0 }
      BEGIN { m = -1 } END { print m }'
}

# text_length FILE Y H R G B ADVANCE: characters of an overlay line (x from 1, one cell per ADVANCE
# pixels): the last cell whose middle holds ink of that colour. Blanks inside the line do not matter.
# The band of line k runs from 18 pixels above its baseline 25 + 24k to 5 below it.
text_length() {
  convert "$1" -crop "1024x${3}+0+${2}" +repage -depth 8 txt:- |
    awk -v r="$4" -v g="$5" -v b="$6" -v adv="$7" -F'[(),:]' '
      NR > 1 { dr = $4 - r; dg = $5 - g; db = $6 - b
               if (dr <= 2 && dr >= -2 && dg <= 2 && dg >= -2 && db <= 2 && db >= -2) {
                 cell = int(($1 - 1) / adv); off = ($1 - 1) - cell * adv
                 if (off >= 3 && off <= adv - 3 && cell + 1 > n) n = cell + 1 } }
      END { print n + 0 }'
}

# cell FILE Y H ADVANCE K OUT: the K-th character cell (from 1) of an overlay line, cut out as OUT, with
# only the value lines' blue ink kept: a star drifting behind the cell must not tell two glyphs apart.
cell() {
  convert "$1" -crop "${4}x${3}+$((1 + ($5 - 1) * $4))+${2}" +repage -fuzz 1% -fill black +opaque "rgb(0,0,255)" "$6"
}

expect_at_least() {  # NAME COUNT MIN
  [ "$2" -ge "$3" ] || fail "$1: $2 pixels, expected at least $3"
}
expect_none() {  # NAME COUNT
  [ "$2" -eq 0 ] || fail "$1: $2 pixels, expected none"
}

start_xvfb 1024x768
start_kelvra
wait_for "the star count prompt on the start screen" on_prompt 0

# Start screen: the address in white about y = 100, the name in yellow about y = 200, and the star
# prompt's box (title "Stars (1-10000):", ten characters) from x 302.6 to 711.8, y 348 to 391.2.
cp "$WORK/now.png" "$SHOTS/01-start.png"
expect_at_least "address" "$(count_colour "$SHOTS/01-start.png" 300 75 424 32 255 255 255)" 150
expect_at_least "program name" "$(count_colour "$SHOTS/01-start.png" 440 170 144 36 217 217 0)" 100
expect_at_least "star prompt outline" "$(count_colour "$SHOTS/01-start.png" 301 350 3 40 204 204 0)" 100
expect_at_least "star prompt initial text" "$(count_colour "$SHOTS/01-start.png" 556 355 60 30 51 255 51)" 40
expect_at_least "star prompt title" "$(count_colour "$SHOTS/01-start.png" 316 355 240 30 204 204 204)" 150

# The star count on the numeric pad over the erased initial text, with its typos put right: "39"
# loses the 9 to Backspace, then "3009" loses its 9 to Delete after Left, Left, Right. A cursor that
# did not move, or moved the wrong way, leaves "3009", "309" or "300" with another digit deleted.
key BackSpace BackSpace BackSpace BackSpace KP_3 KP_9 BackSpace KP_0 KP_0 KP_9 Left Left Right Delete
shot || fail "screenshot of the typed star count"
cp "$WORK/now.png" "$SHOTS/02-typed.png"
typed=$(count_colour "$SHOTS/02-typed.png" 556 355 60 30 51 255 51)
expect_at_least "typed star count" "$typed" 30
[ "$(prompt_text_length 0)" = 3 ] || fail "the star count prompt shows $(prompt_text_length 0) characters, not 3"
key Return
wait_for "the radius prompt" on_prompt 1

# The radius prompt is wider: "Size (radius) in ly:" and fifteen characters make 38 cells, from x 239.
cp "$WORK/now.png" "$SHOTS/03-radius.png"
expect_at_least "radius prompt outline" "$(count_colour "$SHOTS/03-radius.png" 238 350 3 40 204 204 0)" 100
expect_none "old prompt outline" "$(count_colour "$SHOTS/03-radius.png" 301 355 3 30 204 204 0)"
answer_prompt 1 100 2
answer_prompt 2 ""   # the time step stays 20000
answer_prompt 3 42   # the seed
wait_for "the star field after the prompts" in_evolution

# The star field with its overlay: every group of lines in its colour, and stars in the middle.
cp "$WORK/now.png" "$SHOTS/04-field.png"
F=$SHOTS/04-field.png
expect_at_least "credit lines" "$(count_colour "$F" 0 5 450 50 0 204 0)" 200
expect_at_least "key lines" "$(count_colour "$F" 0 53 450 48 255 255 0)" 200
expect_at_least "value lines" "$(count_colour "$F" 0 101 450 120 0 0 255)" 300
expect_at_least "ship lines" "$(count_colour "$F" 0 221 450 120 77 0 128)" 200
expect_at_least "hint lines" "$(count_colour "$F" 0 341 450 50 51 0 102)" 100
lit=$(convert "$F" -crop 500x400+262+184 +repage -colorspace gray -threshold 8% -format "%[fx:int(mean*w*h)]" info:)
expect_at_least "stars" "$lit" 30
expect_none "prompt box after the prompts" "$(count_colour "$F" 100 340 824 60 204 204 0)"
expect_none "speed bar at rest" "$(count_colour "$F" 0 748 1024 20 0 255 0)"

# The answers stand in the overlay: the length of a line tells its text from the defaults ("1500",
# "40.00" and the start-up time as seed). The advance is measured on "SPACE = stop/start" (18 characters).
space_end=$(rightmost "$F" 55 23 255 255 0)
adv=$(((space_end + 7) / 18))
[ "$adv" -ge 12 ] && [ "$adv" -le 16 ] || fail "character advance $adv from the key line"
[ "$(text_length "$F" 55 23 255 255 0 $adv)" = 18 ] || fail "the key line is not 18 characters long"
[ "$(text_length "$F" 103 23 0 0 255 $adv)" = 13 ] || fail "the star line does not read \"Stars   = 300\""
# The last two digits of "300" are one glyph twice, and the "3" before them another.
cell "$F" 103 23 $adv 11 "$WORK/digit1.png"
cell "$F" 103 23 $adv 12 "$WORK/digit2.png"
cell "$F" 103 23 $adv 13 "$WORK/digit3.png"
[ "$(differing "$WORK/digit2.png" "$WORK/digit3.png")" = 0 ] || fail "the star count does not end in \"00\""
expect_at_least "\"3\" against \"0\"" "$(differing "$WORK/digit1.png" "$WORK/digit2.png")" 10
[ "$(text_length "$F" 151 23 0 0 255 $adv)" = 19 ] || fail "the radius line does not read \"radius  = 100.00 ly\""
[ "$(text_length "$F" 199 23 0 0 255 $adv)" = 12 ] || fail "the seed line does not read \"Seed    = 42\""

# Space pauses: the grey banner centred on the first baseline.
xdo "Space to pause" key space
wait_for "the pause banner after Space" banner_shown
cp "$WORK/now.png" "$SHOTS/06-paused.png"
expect_none "banner off centre" "$(count_colour "$SHOTS/06-paused.png" 0 4 420 26 128 128 128)"

# The mouse turns the view while paused. Paused and at rest the stars keep still, so the field
# below the overlay changes only when the mouse moves; the program brings the cursor back to the
# middle after every move, so each step of 80 pixels turns the view again.
screenshot "$SHOTS/07-still.png"
convert "$SHOTS/06-paused.png" -crop 1024x340+0+400 +repage "$WORK/field-before.png"
convert "$SHOTS/07-still.png" -crop 1024x340+0+400 +repage "$WORK/field-still.png"
still=$(differing "$WORK/field-before.png" "$WORK/field-still.png")
[ "$still" = 0 ] || fail "the paused field changed by $still pixels without the mouse"
for _ in 1 2 3 4; do xdo "mouse move" mousemove_relative -- 80 0; pause 0.15; done
field_turned() {
  shot && convert "$WORK/now.png" -crop 1024x340+0+400 +repage "$WORK/field-turned.png" &&
    [ "$(differing "$WORK/field-still.png" "$WORK/field-turned.png")" -ge 30 ]
}
wait_for "the paused field turned by the mouse" field_turned
cp "$WORK/now.png" "$SHOTS/08-turned.png"
expect_at_least "pause banner after turning" "$(count_colour "$SHOTS/08-turned.png" 420 4 190 26 128 128 128)" 40

# A held arrow key turns the paused view as well. Space twice first: the program takes messages in
# the order they came, so the frame with the banner back shows all of the mouse's motion, and from
# that field on only the key can turn the view. Left stays down until the field shows it turned,
# however slowly the program draws: a fixed hold, stretched by the slowdown, turned the emulated
# program's view four times as far, and the field was black, facing away from the cloud, both before
# and after.
xdo "Space to resume after the mouse" key space
wait_for "the pause banner gone after Space" banner_gone
xdo "Space to pause again" key space
wait_for "the pause banner back after Space" banner_shown
convert "$WORK/now.png" -crop 1024x340+0+400 +repage "$WORK/field-settled.png"
field_turned_by_arrow() {
  shot && convert "$WORK/now.png" -crop 1024x340+0+400 +repage "$WORK/field-arrow.png" &&
    [ "$(differing "$WORK/field-settled.png" "$WORK/field-arrow.png")" -ge 30 ]
}
xdo "Left held down" keydown Left
wait_for "the paused field turned by the held Left" field_turned_by_arrow
xdo "Left released" keyup Left
cp "$WORK/now.png" "$SHOTS/09-arrow.png"
expect_at_least "pause banner after the arrow" "$(count_colour "$SHOTS/09-arrow.png" 420 4 190 26 128 128 128)" 40
xdo "Space to resume" key space
wait_for "the pause banner gone after Space" banner_gone

# Flying forward: A held draws the green bar right of the middle only.
bar_shown() { shot && [ "$(count_colour "$WORK/now.png" 512 748 512 20 0 255 0)" -ge 200 ]; }
xdo "A held down" keydown a
wait_for "the forward speed bar while A is held" bar_shown
xdo "A released" keyup a
cp "$WORK/now.png" "$SHOTS/05-flying.png"
expect_at_least "forward speed bar" "$(count_colour "$SHOTS/05-flying.png" 512 748 512 20 0 255 0)" 200
expect_none "speed bar left of the middle" "$(count_colour "$SHOTS/05-flying.png" 0 748 512 20 0 255 0)"

xdo "Escape to quit" key Escape
status=$(wait_exit "$STEP_SECONDS")
[ "$status" = 0 ] || fail "Escape did not end the program with status 0 (got $status)"
echo "PASS"
