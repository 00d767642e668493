#!/usr/bin/env bash
# The gravity kernel's builds as the compiler made them. Each build multiplies, divides and takes
# square roots on whole registers of its width, never one lane at a time, its single-precision seeds
# included; and nothing in the library fuses a multiplication with an addition, which rounds
# otherwise than the CPUs without FMA do and would let a seed evolve differently from one CPU to the
# next. $1 is the static library holding the kernel.
set -u
LIB=${1:?path of the kernel library}
fail() { echo "FAIL: $*" >&2; exit 1; }
DISASSEMBLY=$(objdump -d --no-show-raw-insn "$LIB") || fail "objdump cannot read $LIB"

# The disassembly of one member of the library.
member() {
  awk -v m="$1" '/file format/ { on = index($0, m) == 1 } on' <<<"$DISASSEMBLY"
}

# check BUILD DOUBLE-REGISTER FLOAT-REGISTER: the packed work of one build.
check() {
  local code op
  code=$(member "galaxy_kernel_$1.cpp.o")
  [ -n "$code" ] || fail "no galaxy_kernel_$1.cpp.o in $LIB"
  grep -qE '\s(v?(sqrt|div)s[sd])\s' <<<"$code" && fail "$1: a square root or division one lane at a time"
  for op in mulpd subpd sqrtpd divpd; do
    grep -qE "\sv?$op\s.*%$2mm[0-9]+\$" <<<"$code" || fail "$1: no $op on its $2mm registers"
  done
  for op in sqrtps divps; do
    grep -qE "\sv?$op\s.*%$3mm[0-9]+\$" <<<"$code" || fail "$1: the seed has no $op on $3mm registers"
  done
}

check sse2 x x
check avx2 y y
check avx512 z y
if grep -qE '\svf(n?m(add|sub)|maddsub|msubadd)' <<<"$DISASSEMBLY"; then
  fail "fused multiply-adds in the library: $(grep -m1 -E '\svf(n?m(add|sub)|maddsub|msubadd)' <<<"$DISASSEMBLY")"
fi
echo "kernel code checked: packed at every width, no fused multiply-adds"
