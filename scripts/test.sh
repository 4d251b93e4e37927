#!/usr/bin/env bash
# The test command: installs what is missing, builds both architectures (and
# their installation ZIPs), and runs every suite under Wine through CTest: the
# x64 suites, then the x86 suites in a 64-bit prefix, as a 32-bit program runs
# on 64-bit Windows, in the mode x86-probe.sh finds by running a program: the
# ordinary 32-bit Wine where the host runs 32-bit Linux programs, Wine's WoW64
# mode where it does not (TAVRIN_X86_WINE=native|wow64 forces one; a forced
# mode that does not start fails the command). The x64 tree also checks the
# x86 binaries and package statically. Exits non-zero when any test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${BUILD_DIR:-$top/build}")
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$root"

passed=0 failed=0 status=0

# The tests GoogleTest skipped in the last run of a tree, with their reasons.
print_skipped() {  # print_skipped <build tree>
  local log=$1/Testing/Temporary/LastTest.log skipped
  [ -f "$log" ] || return 0
  skipped=$(tr -d '\r' <"$log" | awk '/: Skipped$/ { getline reason; next_reason = reason; next }
                 /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ { print "  " $4 ": " next_reason; next_reason = "" }')
  if [ -n "$skipped" ]; then
    echo "Skipped tests:"
    echo "$skipped"
  fi
}

run_suites() {  # run_suites <arch>
  local log
  log=$(mktemp)
  ctest --test-dir "$root/$1" --output-on-failure --timeout 900 2>&1 | tee "$log" || status=1
  # "NN% tests passed, F tests failed out of T"
  read -r f t < <(sed -n 's/.* \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' "$log" | tail -n1) || true
  passed=$((passed + ${t:-0} - ${f:-0})) failed=$((failed + ${f:-0}))
  [ -n "${t:-}" ] || { echo "ctest for $1 printed no summary"; status=1; }
  print_skipped "$root/$1"
  rm -f "$log"
}

source "$top/scripts/wine-env.sh"
wine_fix_layout
case $WINE_LAYOUT in
  fixed) echo "== Wine runs without address randomization" ;;
  random) echo "== Wine runs with address randomization: setarch -R is refused here, so a Wine process may now and then fail to start" ;;
esac
echo "== x64 suites (64-bit Wine)"
run_suites x64
set +e
probe=$("$top/scripts/x86-probe.sh" "$root/x86")
probe_status=$?
set -e
if [ $probe_status -eq 0 ]; then
  mode=${probe%%$'\t'*}
  case $mode in
    native) echo "== x86 suites (ordinary 32-bit Wine, 64-bit prefix: ${probe#*$'\t'})" ;;
    wow64) echo "== x86 suites (Wine's WoW64 mode, 64-bit prefix: ${probe#*$'\t'})" ;;
  esac
  TAVRIN_X86_WINE=$mode run_suites x86
  x86_ran="the x86 suites ran in $mode mode"
elif [ $probe_status -eq 2 ]; then
  echo "== x86 suites not run: $probe"
  status=1 failed=$((failed + 1))
  x86_ran="the x86 suites did not run: the forced mode did not start"
else
  echo "== x86 suites skipped: $probe; the x86 binaries and package were checked statically by the x64 suites"
  x86_ran="the x86 suites were skipped"
fi
echo "== $x86_ran"
# Every suite keeps its prefix for a look after the run: what that costs here.
echo "== disk: the build trees take $(du -sh "$root" | cut -f1), $(df -h --output=avail "$root" | tail -n1 | tr -d ' ') free"
echo "suites: $passed passed, $failed failed"
exit $status
