#!/usr/bin/env bash
# wine-run.sh <prefix root> <prefix name> <program.exe> [arguments...]
# Runs a Windows program under Wine in a fresh copy of a template prefix, with
# Wine's own messages silenced. The program's exit code is the script's.
set -euo pipefail
root=$(realpath -m "$1") name=$2
shift 2

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts; no sound driver (there is no sound card).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv=d"
export DISPLAY=                            # never open a window

template=$root/template
mkdir -p "$root"
(
  flock 9
  if [ ! -f "$template/.ready" ]; then
    rm -rf "$template"
    WINEPREFIX=$template wineboot -i >/dev/null 2>&1
    WINEPREFIX=$template wineserver -w
    touch "$template/.ready"
  fi
) 9>"$root/.lock"

prefix=$root/$name
if [ "$name" != tools ] || [ ! -d "$prefix" ]; then
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
  cp -a "$template" "$prefix"
fi
export WINEPREFIX=$prefix
exec wine "$@"
