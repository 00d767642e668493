#!/usr/bin/env bash
# The browser's figures beside the native program's, from one run on one machine (make bench-web):
#   - turns (and frames) a second of the program's main loop at 1,500 and 10,000 stars: bench_engine
#     natively (in Xvfb, Mesa's llvmpipe drawing) and built for the page, in headless Chromium
#     (SwiftShader drawing), threaded on a cross-origin isolated server and single without the headers;
#   - the kernel's nanoseconds a pair: bench_pairs natively and in node, the same program, so that the
#     native SSE2 build and the WebAssembly one (SSE2's source on 128-bit SIMD) compare like for like;
#   - the page's download size in each flavour: kelvra.html, its program's .js and .wasm;
#   - the time from opening the page to the first prompt on the screen, in a fresh browser.
# The browser runs through the end-to-end tests' driver (tests/web/browser.py); the first prompt is
# read from screenshots by lib.sh's on_prompt, as the tests read it.
# Usage: bench/bench_web.sh [BUILD [BUILD_WEB]]   (build and build-web by default, both built with the
# benchmarks: bench_engine and bench_pairs in BUILD, in BUILD_WEB/threads and BUILD_WEB/single)
set -u -o pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(readlink -f "${1:-build}")
web=$(readlink -f "${2:-build-web}")
out=$(mktemp -d /tmp/kelvra-bench-web.XXXXXX)
trap 'rm -rf "$out"' EXIT
clouds=(1500 10000)
flavours=(threads single)

in_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" "$@"; fi
}

# main_loop FILE: "turns frames" of the program's own main loop on every thread, from bench_engine's output.
main_loop() { awk '/program.s main loop/ && /kernel threads\)/ { print $(NF - 6), $(NF - 4); exit }' "$1"; }

# pairs FILE STARS BUILD THREADS: bench_pairs' nanoseconds a pair for that cloud, build and thread count.
pairs() {
  awk -v s="$2" -v b="$3" -v t="$4" '$1 == s && $3 == b && $4 == t { print $(NF - 3); exit }' "$1"
}

# page_figures FLAVOUR: in a browser of its own, the time from opening the page to its first prompt on
# the screen, then bench_engine's page at each cloud; their output into $out/page-FLAVOUR-*.
page_figures() (
  local flavour=$1 site=$out/site-$1 stars start seen before status
  mkdir -p "$site"
  ln -s "$web"/kelvra.html "$web"/kelvra*.js "$web"/kelvra*.wasm "$site"/
  ln -s "$web"/threads/bench_engine.js "$web"/threads/bench_engine.wasm \
        "$web"/single/bench_engine-single.js "$web"/single/bench_engine-single.wasm "$site"/
  cp bench/web/bench_engine.html "$site"/
  export KELVRA_E2E_BROWSER=$root/tests/web/browser.py KELVRA_E2E_FLAVOUR=$flavour
  . tests/e2e/lib.sh "$site"
  start_xvfb
  # The browser started and the page served before the clock starts; from the page's load on, the
  # screen is read as fast as screenshots come.
  page_state >/dev/null && serve
  start=$(date +%s%N)
  browser open "$PAGE_URL" || fail "could not open $PAGE_URL"
  before=$(date +%s%N)
  until on_prompt 0; do
    app_ended && fail "the page ended before its first prompt"
    [ $(($(date +%s%N) - start)) -lt $((STEP_SECONDS * 1000000000)) ] || fail "no first prompt within $STEP_SECONDS s"
    before=$(date +%s%N)
  done
  seen=$(date +%s%N)
  echo "$(((seen - start) / 1000000)) $(((before - start) / 1000000))" >"$out/page-$flavour-prompt"
  [ "$(page_state | cut -d' ' -f2)" = "$flavour" ] || fail "the page runs the $(page_state | cut -d' ' -f2) program"
  for stars in "${clouds[@]}"; do
    rm -f "$WORK/exit_status"
    browser open "${PAGE_URL%/*}/bench_engine.html?stars=$stars" || fail "could not open the benchmark's page"
    status=$(wait_exit 300)
    [ "$status" = 0 ] || fail "bench_engine's page at $stars stars: status $status"
    browser log "$WORK/console.log" || fail "could not read the console"
    # The console's lines as the program printed them, those of this run only.
    sed -n 's/^[A-Z]* [^ ]* [0-9:]* "\(.*\)"$/\1/p' "$WORK/console.log" |
      awk -v s="$stars" '/^bench_engine: / { keep = ($2 == s) } keep' >"$out/page-$flavour-$stars"
  done
)

echo "== native: bench_engine at ${clouds[*]} stars, bench_pairs"
for stars in "${clouds[@]}"; do
  in_display "$build"/bench/bench_engine "$stars" | tee "$out/native-$stars" || exit 1
done
"$build"/bench/bench_pairs | tee "$out/native-pairs" || exit 1
for flavour in "${flavours[@]}"; do
  suffix=
  [ "$flavour" = threads ] || suffix=-single
  echo "== node, $flavour: bench_pairs$suffix.js"
  node "$web/$flavour/bench_pairs$suffix.js" | tee "$out/node-$flavour-pairs" || exit 1
  echo "== headless Chromium, $flavour: the first prompt, then bench_engine's page at ${clouds[*]} stars"
  page_figures "$flavour" || exit 1
  for stars in "${clouds[@]}"; do cat "$out/page-$flavour-$stars"; done
done

threads=$(awk '/bench_pairs:/ { print $(NF - 1) }' "$out/native-pairs")
echo
echo "Kelvra in the browser against the native program, $(date -u '+%Y-%m-%d %H:%M UTC'), $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs"
echo "Turns a second of the program's main loop (frames a second), bench_engine:"
printf '  %-6s  %-22s  %-22s  %-22s\n' stars "native (llvmpipe)" "page, threads" "page, single"
for stars in "${clouds[@]}"; do
  row=()
  for f in "$out/native-$stars" "$out/page-threads-$stars" "$out/page-single-$stars"; do
    read -r turns frames < <(main_loop "$f")
    row+=("${turns:-?} (${frames:-?})")
  done
  printf '  %-6s  %-22s  %-22s  %-22s\n' "$stars" "${row[@]}"
done
echo "The kernel's nanoseconds a pair at 10000 stars, SSE2 natively and in WebAssembly (node), bench_pairs:"
printf '  %-10s  %-8s  %-14s  %-14s\n' threads native "node, threads" "node, single"
printf '  %-10s  %-8s  %-14s  %-14s\n' 1 "$(pairs "$out/native-pairs" 10000 SSE2 1)" \
  "$(pairs "$out/node-threads-pairs" 10000 SSE2 1)" "$(pairs "$out/node-single-pairs" 10000 SSE2 1)"
printf '  %-10s  %-8s  %-14s  %-14s\n' "$threads" "$(pairs "$out/native-pairs" 10000 SSE2 "$threads")" \
  "$(pairs "$out/node-threads-pairs" 10000 SSE2 "$threads")" "(one thread)"
echo "The page's download, bytes (gzip -9 in brackets, as a compressing server would send it):"
for flavour in "${flavours[@]}"; do
  suffix=
  [ "$flavour" = threads ] || suffix=-single
  files=("$web/kelvra.html" "$web/kelvra$suffix.js" "$web/kelvra$suffix.wasm")
  printf '  %-8s kelvra.html %s + kelvra%s.js %s + kelvra%s.wasm %s = %s (%s)\n' "$flavour" \
    "$(stat -c %s "${files[0]}")" "$suffix" "$(stat -c %s "${files[1]}")" "$suffix" "$(stat -c %s "${files[2]}")" \
    "$(cat "${files[@]}" | wc -c)" "$(for f in "${files[@]}"; do gzip -9c "$f"; done | wc -c)"
done
echo "From opening the page to its first prompt on the screen, in a fresh headless Chromium (a screenshot"
echo "waits for the page's next frame: the prompt was drawn after the screenshot that showed it was asked for):"
for flavour in "${flavours[@]}"; do
  read -r seen asked <"$out/page-$flavour-prompt"
  printf '  %-8s at most %d.%03d s, the screenshot that showed it asked for at %d.%03d s\n' "$flavour" \
    $((seen / 1000)) $((seen % 1000)) $((asked / 1000)) $((asked % 1000))
done
