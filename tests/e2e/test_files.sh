#!/usr/bin/env bash
# The program touches no file of its own but its log: traced with strace through a whole run (four
# prompts, a short evolution, Escape), it removes "kelvra.log" from its working directory at start and
# otherwise opens, creates or changes nothing there; nothing anywhere is opened for writing or created
# (device nodes aside: the X and GL libraries open /dev/null and the render nodes read-write); and the
# star image and the font, compiled into it, are never read from disk. The system's libraries read what
# they read (shared objects, /usr/share, /proc, /sys, X sockets, locale); the Mesa shader cache is
# switched off and HOME points elsewhere, so that nothing legitimate writes.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/lib_robust.sh"

command -v strace >/dev/null || fail "strace is missing (tools/install-deps installs it)"
start_xvfb 1024x768
HOME=$(mktemp -d /tmp/kelvra-home.XXXXXX)
export HOME XDG_CACHE_HOME=$HOME/.cache MESA_SHADER_CACHE_DISABLE=true
trap 'cleanup; rm -rf "$HOME"' EXIT
# LeakSanitizer stops the world through ptrace, which strace already holds: leaks are the other runs'
# business, addressing and undefined behaviour are still checked here.
is_sanitized && export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"

echo "a previous run" >"$WORK/kelvra.log"
TRACE=$WORK/trace.txt
(
  cd "$WORK" || exit 1
  strace -f -y -qq -e trace=%file,creat -o "$TRACE" "$KELVRA" >"$WORK/kelvra.out" 2>&1
  echo $? >"$WORK/exit_status"
) &
wait_for "the star count prompt under strace" on_prompt 0
answer_prompts 50 "" "" 3
expect_stars 50
xdo "Escape to quit" key Escape
rc=$(wait_exit "$STEP_SECONDS")
[ "$rc" = 0 ] || { tail -n 40 "$WORK/kelvra.out" >&2; fail "the traced run ended with status $rc"; }
sanitizer_clean

# Every traced call as "SYSCALL<TAB>FLAGS<TAB>ABSOLUTE PATH", relative paths resolved against the
# descriptor strace names (-y) or the working directory; calls on a descriptor alone (empty path) are
# left out: they touch what was opened before.
calls() {
  awk -v cwd="$WORK" '
    {
      line = $0
      sub(/^[0-9]+ +/, "", line)
      name = line; sub(/\(.*/, "", name)
      if (name !~ /^[a-z0-9_]+$/) next
      args = substr(line, length(name) + 2)
      base = cwd
      if (args ~ /^(AT_FDCWD|[0-9]+)</) {
        dir = args; sub(/^[^<]*</, "", dir); sub(/>.*/, "", dir); base = dir
      }
      if (!match(args, /"[^"]*"/)) next
      path = substr(args, RSTART + 1, RLENGTH - 2)
      rest = substr(args, RSTART + RLENGTH)
      if (path == "") next
      if (path !~ /^\//) path = base "/" path
      flags = ""
      if (match(rest, /O_[A-Z_|]+/)) flags = substr(rest, RSTART, RLENGTH)
      printf "%s\t%s\t%s\n", name, flags, path
    }' "$TRACE"
}
calls >"$WORK/calls.txt"
[ -s "$WORK/calls.txt" ] || fail "the trace holds no file calls"

# Calls that create or change something: opens for writing, and the calls whose purpose is a change.
awk -F'\t' '
  $1 ~ /^open/ && $2 ~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND/ { print; next }
  $1 ~ /^(creat|unlink|unlinkat|rename|renameat|renameat2|mkdir|mkdirat|rmdir|truncate|link|linkat|symlink|symlinkat|chmod|fchmodat|chown|fchownat|lchown|utimensat|mknod|mknodat)$/ { print }
' "$WORK/calls.txt" >"$WORK/changes.txt"
removal="^unlink(at)?\t\t$WORK/kelvra.log\$"
grep -qP "$removal" "$WORK/changes.txt" || fail "the program did not remove kelvra.log at start"
[ ! -e "$WORK/kelvra.log" ] || fail "kelvra.log is still there after a run that logged nothing"
if grep -vP "$removal" "$WORK/changes.txt" | grep -vP '^open(at)?\t[^\t]*\t/dev/' >"$WORK/bad_changes.txt"; then
  cat "$WORK/bad_changes.txt" >&2
  fail "files were created, changed or opened for writing"
fi

# Nothing else in the working directory: no open, stat or probe of any name there.
if awk -F'\t' -v cwd="$WORK" 'index($3, cwd "/") == 1 || $3 == cwd' "$WORK/calls.txt" |
    grep -vP "$removal" >"$WORK/bad_local.txt"; then
  cat "$WORK/bad_local.txt" >&2
  fail "the program looked at files in its working directory"
fi

# The star image and the font are inside the binary.
if grep -P '\t[^\t]*\.(tga|ttf|otf|pfb)$' "$WORK/calls.txt" >"$WORK/bad_assets.txt"; then
  cat "$WORK/bad_assets.txt" >&2
  fail "the program read an image or font file from disk"
fi

echo "files: $(wc -l <"$WORK/calls.txt") file calls traced, all by the system's libraries except the removal of kelvra.log"
