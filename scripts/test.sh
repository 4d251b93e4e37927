#!/usr/bin/env bash
# The test command: installs what is missing, builds both architectures (and
# their installation ZIPs), and runs every suite under Wine through CTest: the
# x64 suites everywhere, the x86 suites where this host can run 32-bit
# programs (found by running one). The x64 tree also checks the x86 binaries
# and package statically, so they are checked everywhere. Exits non-zero when
# any test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${BUILD_DIR:-$top/build}")
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$root"

passed=0 failed=0 status=0
run_suites() {  # run_suites <arch>
  local log
  log=$(mktemp)
  echo "== $1 suites"
  ctest --test-dir "$root/$1" --output-on-failure --timeout 900 2>&1 | tee "$log" || status=1
  # "NN% tests passed, F tests failed out of T"
  read -r f t < <(sed -n 's/.* \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' "$log" | tail -n1) || true
  passed=$((passed + ${t:-0} - ${f:-0})) failed=$((failed + ${f:-0}))
  [ -n "${t:-}" ] || { echo "ctest for $1 printed no summary"; status=1; }
  rm -f "$log"
}

run_suites x64
if probe=$("$top/scripts/x86-probe.sh" "$root/x86" 2>&1); then
  run_suites x86
else
  echo "== x86 suites skipped: this host cannot run 32-bit Windows programs ($probe);" \
       "the x86 binaries and package were checked statically by the x64 suites"
fi
echo "suites: $passed passed, $failed failed"
exit $status
