#!/usr/bin/env bash
# The main job: installs what is missing, builds the binaries and the jar, and
# shows them at work under Wine: what Pellux.dll exports and finds, a launch of
# Tavrin.exe on a catalog (with a stand-in Java runtime), and the media
# information of a sample file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$build" >/dev/null

echo "== Built"
ls -l "$build/pellux/Pellux.dll" "$build/launcher/Tavrin.exe" "$build/java/tavrin.jar" 2>/dev/null \
  | awk '{print "  " $5 " bytes  " $NF}'

echo
echo "== Pellux.dll exports (JNI native methods of orlesk.tavrin.pellux.Pellux)"
i686-w64-mingw32-objdump -p "$build/pellux/Pellux.dll" \
  | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] /  /p'
echo "  imports: $(i686-w64-mingw32-objdump -p "$build/pellux/Pellux.dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"

echo
echo "== Devices Pellux.dll finds under Wine (Wine has no capture hardware of its own)"
"$top/scripts/wine-run.sh" "$build/wine" demo "$build/tools/pellux-probe/pellux-probe.exe" \
  "Z:$build/pellux/Pellux.dll"

for part in demo-launch.sh demo-media.sh; do
  if [ -x "$top/scripts/$part" ]; then
    echo
    "$top/scripts/$part" "$build"
  fi
done
