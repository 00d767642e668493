# Started where there is no X display, Kelvra must say why on standard error and end with status 0,
# never crash and never wait for ever behind a window nobody can see.
source "$(dirname "$0")/lib.sh"

for display in unset ":93"; do
  if [ "$display" = unset ]; then runner=(env -u DISPLAY -u WAYLAND_DISPLAY); else runner=(env -u WAYLAND_DISPLAY DISPLAY=$display); fi
  rc=0
  (cd "$WORK" && timeout 20 "${runner[@]}" "$KELVRA") >"$WORK/out" 2>&1 || rc=$?
  [ "$rc" = 124 ] && fail "DISPLAY $display: still running after 20 s"
  [ "$rc" = 0 ] || fail "DISPLAY $display: exit status $rc (expected 0): $(cat "$WORK/out")"
  grep -q 'ERROR: Failed To Register The Window Class.' "$WORK/out" ||
    fail "DISPLAY $display: no message box text on standard error: $(cat "$WORK/out")"
  grep -q '^kelvra: ' "$WORK/out" || fail "DISPLAY $display: SDL's reason is missing: $(cat "$WORK/out")"
  if [ -e "$WORK/kelvra.log" ]; then fail "DISPLAY $display: a log was written"; fi
done
