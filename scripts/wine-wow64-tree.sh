#!/usr/bin/env bash
# wine-wow64-tree.sh <folder>: assembles, in <folder>, a Wine installation that
# runs 32-bit Windows programs in WoW64 mode: inside a 64-bit Wine process,
# with no 32-bit Linux code at all, as on a host whose kernel runs no 32-bit
# programs. Made of the installed packages; writes nothing outside <folder>.
# Safe to run again and from several processes at once.
#
#   <folder>/lib/wine/wine64            copy of the 64-bit loader (it finds ntdll.so
#                                       relative to its own path)
#   <folder>/lib/wine/wineserver        the 64-bit server
#   <folder>/lib/x86_64-linux-gnu/wine/
#     x86_64-unix                       real copy: ntdll.so finds the DLL folders
#                                       from its own real path
#     x86_64-windows, i386-windows      links to the packages' Windows DLLs
#   <folder>/share/wine                 link to Wine's data
# There is no 32-bit loader <folder>/lib/wine/wine: without one, Wine starts a
# 32-bit program in WoW64 mode.
set -euo pipefail
tree=$(realpath -m "$1")

# The 32-bit Windows DLLs: from the installed libwine:i386, or where the i386
# packages could not be installed, from the copy install-deps.sh unpacked.
i386_windows=
for candidate in /usr/lib/i386-linux-gnu/wine/i386-windows \
                 /opt/tavrin/libwine-i386/usr/lib/i386-linux-gnu/wine/i386-windows; do
  if [ -f "$candidate/ntdll.dll" ]; then i386_windows=$candidate; break; fi
done
[ -n "$i386_windows" ] || { echo "wine-wow64-tree: no 32-bit Wine DLLs (package libwine:i386); run scripts/install-deps.sh" >&2; exit 1; }
for needed in /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 \
              /usr/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so \
              /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/share/wine; do
  [ -e "$needed" ] || { echo "wine-wow64-tree: $needed is missing; run scripts/install-deps.sh" >&2; exit 1; }
done

stamp="$(stat -c %Y /usr/lib/wine/wine64) $i386_windows"
mkdir -p "$tree"
(
  flock 9
  [ -f "$tree/.ready" ] && [ "$(cat "$tree/.ready")" = "$stamp" ] && exit 0
  find "$tree" -mindepth 1 -maxdepth 1 ! -name .lock -exec rm -rf {} +
  mkdir -p "$tree/lib/wine" "$tree/lib/x86_64-linux-gnu/wine" "$tree/share"
  cp /usr/lib/wine/wine64 "$tree/lib/wine/wine64"
  ln -s /usr/lib/wine/wineserver64 "$tree/lib/wine/wineserver"
  cp -r /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$tree/lib/x86_64-linux-gnu/wine/x86_64-unix"
  ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$tree/lib/x86_64-linux-gnu/wine/x86_64-windows"
  ln -s "$i386_windows" "$tree/lib/x86_64-linux-gnu/wine/i386-windows"
  ln -s /usr/share/wine "$tree/share/wine"
  echo "$stamp" >"$tree/.ready"
) 9>"$tree/.lock"
