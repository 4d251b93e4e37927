#!/usr/bin/env bash
# check-stack-realignment.sh <folder of x86 object files>
# 32-bit callers (a JVM, DirectShow's streaming threads) may enter with a stack
# aligned to 4 bytes only. Every function of the x86 library code that touches
# its stack frame with an SSE access needing 16-byte alignment must therefore
# realign its stack first ("and $-16,%esp"); GCC does so only when told that
# the incoming stack may be 4-byte aligned.
set -euo pipefail
objects=$(find "$1" -name '*.obj' | sort)
[ -n "$objects" ] || { echo "FAIL: no object files below $1"; exit 1; }

# Per function: does it realign, and does it make an aligned SSE access to
# its frame (through %esp or %ebp)? Unaligned forms (movups, movdqu) and
# scalar ones (movss, movsd, movq, movd) need no alignment.
report=$(i686-w64-mingw32-objdump -d --no-show-raw-insn $objects | awk '
  /^[0-9a-f]+ <.*>:$/ { name = $2; next }
  /and +\$0xfffffff0,%esp/ { realigns[name] = 1 }
  /%xmm/ && /\(%e[sb]p\)/ {
    mnemonic = $2
    if (mnemonic ~ /^(movups|movupd|movdqu|movss|movsd|movq|movd|movlps|movhps|movlpd|movhpd|cvt.*|ucomis.|comis.)$/) next
    if (mnemonic ~ /^(movaps|movapd|movdqa|p[a-z0-9]+|[a-z]+p[sd])$/) aligned[name] = 1
  }
  END {
    for (f in aligned) { checked++; if (!(f in realigns)) print "FAIL: " f " makes aligned SSE stack accesses without realigning" }
    print "checked " checked + 0 " functions with aligned SSE stack accesses"
  }')
echo "$report"
! grep -q '^FAIL' <<<"$report"
