#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every suite
# under Wine through CTest. Exits non-zero when any test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$build"
ctest --test-dir "$build" --output-on-failure --timeout 900
