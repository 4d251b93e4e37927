#!/usr/bin/env bash
# run_with_wine_trace.sh <command...>
# Runs the end-to-end suite with its Unix standard error in a file that the
# suite reads (TAVRIN_E2E_WINE_TRACE, as a Windows path): a Wine process writes
# its debug trace to the standard error it inherited from its parent, so this
# is where the relay trace of every launched Tavrin.exe lands. Afterwards the
# file's lines that are not trace lines are passed on to standard error.
set -uo pipefail
trace=$(mktemp /tmp/tavrin-e2e-trace.XXXXXX)
export TAVRIN_E2E_WINE_TRACE="Z:${trace//\//\\}"
"$@" 2>"$trace"
status=$?
grep -v -E '^[0-9a-f]{4}:(Call|Ret|trace:relay|Starting thread|err:winediag:nodrv_CreateWindow)' "$trace" >&2
rm -f "$trace"
exit $status
