#!/usr/bin/env bash
# expect-between-tests-report.sh <wine-run.sh> <prefixes> <name> <program.exe>:
# runs malloc_spy_between_tests, whose tests all pass and whose check of what
# happened between tests must fail the program, naming a write after free and
# blocks the spy could not record.
set -uo pipefail
output=$("$1" "$2" "$3" "$4" --gtest_color=no 2>&1)
status=$?
echo "$output"
failures=0
expect() {  # expect <description> <fixed text>
  if grep -qF -- "$2" <<<"$output"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
[ "$status" -ne 0 ] && echo "ok: the program failed (status $status)" || { echo "FAILED: the program passed"; failures=$((failures + 1)); }
expect "its three tests passed" "[  PASSED  ] 3 tests."
expect "the write after free between tests failed the program" "task memory written while no test ran after its free"
expect "the blocks not recorded between tests failed the program" \
  "task memory blocks allocated while no test ran that the spy could not record"
[ "$failures" -eq 0 ]
