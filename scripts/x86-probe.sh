#!/usr/bin/env bash
# x86-probe.sh <x86 build tree>: succeeds when this host runs 32-bit Windows
# programs under Wine, found by running one (the x86 wine-probe); otherwise
# prints why on one line and fails. Never a guess from the kernel or packages.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
output=$("$top/scripts/wine-run.sh" "$tree/wine" probe "$tree/tools/wine-probe/wine-probe.exe" 2>&1)
status=$?
if [ $status -eq 0 ] && grep -q '^32-bit Windows programs run here' <<<"$output"; then
  exit 0
fi
reason=$(grep -v '^\s*$' <<<"$output" | tail -n1)
echo "the x86 wine-probe did not run: ${reason:-it exited with status $status}"
exit 1
