#!/usr/bin/env bash
# wine-run.sh <prefix root> <prefix name> <program.exe> [arguments...]
# Runs a Windows program under Wine in a fresh copy of a template prefix, with
# Wine's own messages silenced. Wine's loader (and the prefix's kind) follows
# the program's architecture. The program's exit code is the script's.
set -euo pipefail
root=$(realpath -m "$1") name=$2
shift 2
source "$(dirname "$0")/wine-env.sh"
wine_select "$(wine_arch_of "$1")" "$root"

prefix=$root/$name
wine_fresh_prefix "$root" "$prefix"
export WINEPREFIX=$prefix
exec "${WINE_START[@]}" "$WINE" "$@"
