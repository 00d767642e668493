# Helpers of the long and hostile end-to-end runs, on top of lib.sh (source that first): comparing
# screenshots, reading pixels of a region, the program's resident
# memory, and the sanitizer reports of a sanitizer build.

# is_sanitized: true when the binary under test carries AddressSanitizer.
is_sanitized() { ldd "$KELVRA" 2>/dev/null | grep -q libasan; }

# sanitizer_clean: fails the test when the program's output holds a sanitizer report.
sanitizer_clean() {
  if grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: [A-Za-z]*Sanitizer' "$WORK/kelvra.out"; then
    sed -n '1,80p' "$WORK/kelvra.out" >&2
    fail "sanitizer report in the program's output"
  fi
}

# differing_pixels A.png B.png: the number of pixels in which the two screenshots differ. A compare
# that fails (status 2: an unreadable or cut file) fails the test rather than count as a change.
differing_pixels() {
  local out status
  out=$(compare -metric AE "$1" "$2" null: 2>&1)
  status=$?
  [ $status -le 1 ] && [[ $out =~ ^[0-9]+ ]] || fail "compare $1 $2 failed (status $status): $out"
  echo "${BASH_REMATCH[0]}"
}

# count_colour FILE X Y W H R G B TOL: pixels of the region whose channels are each within TOL of R G B.
count_colour() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk -v r="$6" -v g="$7" -v b="$8" -v t="$9" '
      function near(v, w) { return v - w <= t && w - v <= t }
      near($1, r) && near($2, g) && near($3, b) { k++ }
      END { print k + 0 }'
}

# rss_kib: resident memory of the program, KiB.
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$APP_PID/status"; }

# alive: the program still runs and its window still exists.
alive() { kill -0 "$APP_PID" 2>/dev/null && xdotool search --name '^Kelvra$' >/dev/null 2>&1; }
