#!/usr/bin/env bash
# check-wine-layout.sh <prefix root>: starts Wine's cmd.exe through wine-run.sh,
# as every suite is started, and reads its Unix address map. Its C
# heap must start right where Wine's loader ends (no address randomization)
# and end below the shared user data at 0x7ffe0000. Exits 77 (skipped) where
# the host refuses to turn address randomization off.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/wine-env.sh"
wine_fix_layout
if [ "$WINE_LAYOUT" != fixed ]; then
  echo "skipped: setarch -R is refused here, so Wine runs with address randomization"
  exit 77
fi

# cmd.exe waits on its input, a pipe held open, while its map is read here.
# (A file read in the Wine process is opened by the Wine server, so
# Z:\proc\self would be the server's.)
cmd=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cmd.exe
marker=wine-layout-$$
sleep 120 | "$top/scripts/wine-run.sh" "$1" wine_layout "$cmd" /k rem "$marker" >/dev/null &
# The Wine process is the one of those naming the marker that has cmd.exe mapped
# (the others are the shells on the way to it).
pid= maps=
for _ in $(seq 300); do
  for candidate in $(pgrep -f "$marker"); do
    if grep -q '/cmd\.exe$' "/proc/$candidate/maps" 2>/dev/null; then
      pid=$candidate maps=$(cat "/proc/$pid/maps")
      break 2
    fi
  done
  sleep 0.1
done
pkill -P $$ sleep 2>/dev/null
wait
[ -n "$pid" ] || { echo "FAILED: cmd.exe did not start"; exit 1; }
# "7d004000-7d005000 rw-p 00003000 fe:00 9953285   /usr/lib/wine/wine64"
loader_end=$(awk '$NF ~ /\/lib\/wine\/wine(64)?$/ { split($1, r, "-"); end = r[2] } END { print end }' <<<"$maps")
heap=$(awk '$NF == "[heap]" { print $1; exit }' <<<"$maps")
if [ -z "$loader_end" ]; then
  echo "FAILED: the map of cmd.exe (Unix process $pid) names no Wine loader:"
  echo "$maps" | head -n 20
  exit 1
fi
if [ -z "$heap" ]; then
  echo "ok: the loader ends at 0x$loader_end and the process has no C heap"
  exit 0
fi
heap_start=$((16#${heap%-*})) heap_end=$((16#${heap#*-}))
if [ "$heap_start" -eq $((16#$loader_end)) ] && [ "$heap_end" -le $((0x7ffe0000)) ]; then
  echo "ok: the C heap ($heap) starts where the loader ends and ends below 0x7ffe0000"
  exit 0
fi
echo "FAILED: the C heap ($heap) does not start where the loader ends (0x$loader_end) or reaches 0x7ffe0000"
exit 1
