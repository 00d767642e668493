#!/usr/bin/env bash
# The gravity kernel's builds as the compiler made them. Each build multiplies, subtracts, divides and
# takes square roots on whole registers of its width, its single-precision seeds included; square
# roots and divisions are never taken one lane at a time (a few scalar multiplications remain, in the
# rare path that mends lanes outside the seed's range, and give the same bits as packed ones).
# Nothing in the library fuses a multiplication with an addition, which rounds otherwise than the
# CPUs without FMA do, and nothing takes an approximate reciprocal or reciprocal square root
# (rsqrtps, rcpps, vrsqrt14pd, frsqrte, frecpe and their kin), whose bits differ from one CPU maker
# to the next: either would let a seed evolve differently from one CPU to another. $1 is the static
# library holding the kernel, built for x86-64, for 64-bit ARM or for WebAssembly; $2, when given, the
# objdump that reads its machine code (a cross build's own, LLVM's for WebAssembly).
set -u
LIB=${1:?path of the kernel library}
OBJDUMP=${2:-objdump}
fail() { echo "FAIL: $*" >&2; exit 1; }
DISASSEMBLY=$("$OBJDUMP" -d --no-show-raw-insn "$LIB") || fail "$OBJDUMP cannot read $LIB"

# The disassembly of the object one source file compiled to (foo.cpp.o, or foo.cpp.obj from MinGW;
# GNU's objdump names the object alone, LLVM's after the library).
member() {
  awk -v s="$1" '/file format/ {
    on = index($0, s ".o:") == 1 || index($0, s ".obj:") == 1 || index($0, "(" s ".o):") > 0
  } on' <<<"$DISASSEMBLY"
}

# check BUILD DOUBLE-REGISTER FLOAT-REGISTER: the packed work of one build.
check() {
  local code op
  code=$(member "galaxy_kernel_$1.cpp")
  [ -n "$code" ] || fail "no object of galaxy_kernel_$1.cpp in $LIB"
  grep -qE '\s(v?(sqrt|div)s[sd])\s' <<<"$code" && fail "$1: a square root or division one lane at a time"
  for op in mulpd subpd sqrtpd divpd; do
    grep -qE "\sv?$op\s.*%$2mm[0-9]+\$" <<<"$code" || fail "$1: no $op on its $2mm registers"
  done
  for op in sqrtps divps; do
    grep -qE "\sv?$op\s.*%$3mm[0-9]+\$" <<<"$code" || fail "$1: the seed has no $op on $3mm registers"
  done
}

# The NEON build: two doubles a register, the seeds of two registers in one register of four floats.
check_neon() {
  local code op
  code=$(member "galaxy_kernel_neon.cpp")
  [ -n "$code" ] || fail "no object of galaxy_kernel_neon.cpp in $LIB"
  grep -qE '\sf(sqrt|div)\s+[sd][0-9]+,' <<<"$code" && fail "neon: a square root or division one lane at a time"
  for op in fmul fsub fsqrt fdiv; do
    grep -qE "\s$op\s+v[0-9]+\.2d," <<<"$code" || fail "neon: no $op on whole .2d registers"
  done
  for op in fsqrt fdiv; do
    grep -qE "\s$op\s+v[0-9]+\.4s," <<<"$code" || fail "neon: the seed has no $op on .4s registers"
  done
}

# The WebAssembly build: SSE2's intrinsics computed by 128-bit SIMD, two doubles or four floats a
# register. WebAssembly has no approximate reciprocals; its fused multiply-adds are the relaxed SIMD's.
check_wasm() {
  local code op
  code=$(member "galaxy_kernel_sse2.cpp")
  [ -n "$code" ] || fail "no object of galaxy_kernel_sse2.cpp in $LIB"
  grep -qE '\sf(32|64)\.(sqrt|div)\b' <<<"$code" && fail "wasm: a square root or division one lane at a time"
  for op in mul sub sqrt div; do
    grep -qE "\sf64x2\.$op\b" <<<"$code" || fail "wasm: no f64x2.$op"
  done
  for op in sqrt div; do
    grep -qE "\sf32x4\.$op\b" <<<"$code" || fail "wasm: the seed has no f32x4.$op"
  done
}

case $(grep -m1 -oE 'file format \S+' <<<"$DISASSEMBLY") in
  *x86-64)
    check sse2 x x
    check avx2 y y
    check avx512 z y
    fused='\svf(n?m(add|sub)|maddsub|msubadd)'
    approximate='\s(v?(rsqrt|rcp)[0-9]*(ps|pd|ss|sd|ph|sh)|pf(rsqrt|rcp)[a-z0-9]*)\s' ;;
  *aarch64)
    check_neon
    fused='\s(fml[as]l?2?|fn?m(add|sub))\s'
    approximate='\s[fu](rsqrt|recp)[a-z]*\s' ;;
  *wasm)
    check_wasm
    fused='\sf(32x4|64x2)\.relaxed_n?madd'
    approximate='' ;;
  *) fail "no check for the machine code of $LIB: $(grep -m1 -oE 'file format \S+' <<<"$DISASSEMBLY")" ;;
esac
if grep -qE "$fused" <<<"$DISASSEMBLY"; then
  fail "fused multiply-adds in the library: $(grep -m1 -E "$fused" <<<"$DISASSEMBLY")"
fi
if [ -n "$approximate" ] && grep -qE "$approximate" <<<"$DISASSEMBLY"; then
  fail "an approximate reciprocal in the library: $(grep -m1 -E "$approximate" <<<"$DISASSEMBLY")"
fi
echo "kernel code checked: packed at every width, no fused multiply-adds, no approximate reciprocals"
