#!/usr/bin/env bash
# The main job: installs what is missing, builds both architectures, and shows
# them at work under Wine: what Pellux.dll exports and finds, launches of
# Tavrin.exe on a catalog (with a stand-in Java runtime), and the media
# information of sample files; then the x64 Windows Installer package
# installed, Tavrin started through its Start menu shortcut, and the package
# removed again (scripts/demo-install.sh). The x64 build runs everywhere; the
# x86 build runs too, in whichever mode of Wine x86-probe.sh finds this host allows.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${BUILD_DIR:-$top/build}")
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$root" >/dev/null

show() {  # show <arch>
  local build=$root/$1 objdump
  objdump=$([ "$1" = x86 ] && echo i686-w64-mingw32-objdump || echo x86_64-w64-mingw32-objdump)
  echo "==== The $1 build"
  echo "== Built"
  ls -l "$build/pellux/Pellux.dll" "$build/launcher/Tavrin.exe" "$build/package/"*.zip "$build/package/"*.msi \
    2>/dev/null \
    | awk '{print "  " $5 " bytes  " $NF}'
  echo
  echo "== Pellux.dll ($($objdump -f "$build/pellux/Pellux.dll" | sed -n 's/.*file format //p')) exports (JNI native methods of orlesk.tavrin.pellux.Pellux)"
  $objdump -p "$build/pellux/Pellux.dll" \
    | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] /  /p'
  echo "  imports: $($objdump -p "$build/pellux/Pellux.dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
  echo
  echo "== Devices Pellux.dll finds under Wine (Wine has no capture hardware of its own)"
  "$top/scripts/wine-run.sh" "$build/wine" demo "$build/tools/pellux-probe/pellux-probe.exe" \
    "Z:$build/pellux/Pellux.dll"
  for part in demo-launch.sh demo-media.sh demo-capture.sh; do
    echo
    if [ "$part" = demo-media.sh ] && [ "${TAVRIN_X86_WINE:-}" = wow64 ] && [ "$1" = x86 ]; then
      echo "== Media information: not shown for x86 in Wine's WoW64 mode, whose Media Detector cannot read files"
      continue
    fi
    "$top/scripts/$part" "$build"
  done
}

show x64
set +e
probe=$("$top/scripts/x86-probe.sh" "$root/x86")
probe_status=$?
set -e
if [ $probe_status -eq 0 ]; then
  export TAVRIN_X86_WINE=${probe%%$'\t'*}
  echo
  show x86
fi
echo
"$top/scripts/demo-install.sh" "$root/x64"
if [ $probe_status -eq 0 ]; then
  echo "Ran the x64 and the x86 builds; x86 in $TAVRIN_X86_WINE mode (${probe#*$'\t'})."
else
  echo "Ran the x64 build only: $probe"
  [ $probe_status -eq 1 ] || exit 1
fi
