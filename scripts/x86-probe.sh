#!/usr/bin/env bash
# x86-probe.sh <x86 build tree>: finds out how this host runs 32-bit Windows
# programs under Wine by running one (the x86 wine-probe) in each mode, never
# by a guess from the kernel or the packages. Prints one line,
# "<mode><TAB><what ran and why>", and succeeds with mode native (the ordinary
# 32-bit loader) or wow64 (Wine's WoW64 mode, where native does not start).
# TAVRIN_X86_WINE=native|wow64 tries only that mode. When nothing starts it
# prints why and exits 1; when the forced mode does not start, it exits 2.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
probe=$tree/tools/wine-probe/wine-probe.exe
source "$top/scripts/wine-env.sh"

# try <mode>: runs the probe in that mode; on failure prints why.
try() {
  local mode=$1 output status
  [ -f "$probe" ] || { echo "$probe is missing; build the x86 tree first"; return 1; }
  # Wine's error channel names WoW64 mode when a process starts in it.
  output=$(TAVRIN_X86_WINE=$mode WINEDEBUG=err+all \
           "$top/scripts/wine-run.sh" "$tree/wine" "probe-$mode" "$probe" 2>&1)
  status=$?
  if [ $status -ne 0 ] || ! grep -q '^32-bit Windows programs run here' <<<"$output"; then
    local reason
    reason=$(grep -v '^\s*$' <<<"$output" | tail -n1)
    echo "${reason:-it exited with status $status}"
    return 1
  fi
  if ! grep -q '^32-bit Windows programs run here (IsWow64Process: true)' <<<"$output"; then
    echo "the probe did not run as a 32-bit program on 64-bit Windows"
    return 1
  fi
  local in_wow64=no
  grep -q 'wow64 mode' <<<"$output" && in_wow64=yes
  if [ "$mode" = wow64 ] && [ $in_wow64 = no ]; then
    echo "Wine did not say it started the probe in WoW64 mode"
    return 1
  fi
  if [ "$mode" = native ] && [ $in_wow64 = yes ]; then
    echo "Wine started the probe in WoW64 mode instead of with its 32-bit loader"
    return 1
  fi
}

native_fault() {  # why the 32-bit loader does not run, in one line
  /usr/lib/wine/wine --version 2>&1 | grep -v '^\s*$' | tail -n1 | sed 's/^.*line [0-9]*: //'
}

case ${TAVRIN_X86_WINE:-} in
  native | wow64)
    if why=$(try "$TAVRIN_X86_WINE"); then
      printf '%s\t%s\n' "$TAVRIN_X86_WINE" "mode forced by TAVRIN_X86_WINE=$TAVRIN_X86_WINE"
      exit 0
    fi
    echo "TAVRIN_X86_WINE=$TAVRIN_X86_WINE, but the x86 wine-probe did not start in that mode: $why"
    exit 2 ;;
  '') ;;
  *) echo "TAVRIN_X86_WINE is '$TAVRIN_X86_WINE', not native or wow64"; exit 2 ;;
esac

if native_why=$(try native); then
  printf 'native\t%s\n' "the ordinary 32-bit Wine loader, which runs on this host"
  exit 0
fi
if wine_native_x86_runs; then
  why_not_native="the ordinary mode did not start the probe: $native_why"
else
  why_not_native="this host runs no 32-bit Linux programs ($(native_fault))"
fi
if wow64_why=$(try wow64); then
  printf 'wow64\t%s\n' "$why_not_native"
  exit 0
fi
# Why WoW64 mode could not start it, where the host says.
if [ -x "$tree/host-tools/code32-probe" ] && ! code32=$("$tree/host-tools/code32-probe"); then
  wow64_why="$wow64_why; $code32"
fi
echo "the x86 wine-probe started in neither mode ($why_not_native; WoW64 mode: $wow64_why)"
exit 1
