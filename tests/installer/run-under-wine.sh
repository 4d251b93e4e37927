#!/usr/bin/env bash
# run-under-wine.sh <package.zip> <wine-run.sh> <prefix root> <prefix name> <installer_tests.exe> [arguments...]
# Runs installer_tests in a fresh prefix with the installation ZIP unpacked
# beside it (TAVRIN_ZIP_CONTENT, a Windows path), which the installed files
# must equal, and the relay trace of the launchers it starts in a file it reads
# (launcher_e2e's run_with_wine_trace.sh).
set -uo pipefail
package=$1
shift
[ -f "$package" ] || { echo "FAIL: no package $package (scripts/build.sh makes it)"; exit 1; }
content=$(mktemp -d /tmp/tavrin-zip-content.XXXXXX)
trap 'rm -rf "$content"' EXIT
(cd "$content" && cmake -E tar xf "$package") || exit 1
export TAVRIN_ZIP_CONTENT="Z:${content//\//\\}"
"$(dirname "$0")/../launcher_e2e/run_with_wine_trace.sh" "$@"
