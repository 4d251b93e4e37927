#!/usr/bin/env bash
# scripts/demo-install.sh <build dir>
# The build's Windows Installer package in a fresh Wine prefix of its
# architecture, as an administrator installs it: msiexec /i <package> /qn; then
# what it installed, Tavrin started through the Start menu shortcut on a
# catalog (with the STAND-IN Java runtime of doubles/jvm: there is no Windows
# JVM here), the entry in Programs and Features and the catalog file type; then
# msiexec /x, and what is left. The last line says what happened.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/x64}" && pwd)

source "$top/scripts/wine-env.sh"
arch=$(wine_arch_of "$build/launcher/Tavrin.exe")
package=$(ls "$build"/package/Tavrin-*-"$arch".msi 2>/dev/null | head -n1)
if [ -z "$package" ] || [ ! -f "$build/doubles/jvm/jvm.dll" ]; then
  echo "demo-install: the package or the stand-in runtime is missing in $build; build first (scripts/build.sh)" >&2
  exit 1
fi
wine_select "$arch" "$build/wine"
if [ "$arch" = x64 ]; then view=/reg:64; else view=/reg:32; fi

demo=$(mktemp -d /tmp/tavrin-demo-install.XXXXXX)
export WINEPREFIX=$demo/prefix
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$demo"' EXIT
wine_fresh_prefix "$build/wine" "$WINEPREFIX"
# Run from the demo folder: a reg.exe in the current folder would be run instead.
in_demo() { (cd "$demo" && wine_start "$@"); }
dos() { in_demo "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
unix() { in_demo "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
query() { in_demo "$WINE" reg query "$@" $view 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/    /'; }
exists() { in_demo "$WINE" reg query "$1" $view >/dev/null 2>&1; }
msi=$(dos "$package")

echo "== The Windows Installer package ($arch): $(basename "$package"), $(stat -c %s "$package") bytes"
echo "  msiexec /i \"$msi\" /qn"
start=$(date +%s)
status=0
in_demo "$WINE" msiexec /i "$msi" /qn || status=$?
echo "  exit code: $status, after $(( $(date +%s) - start )) s"
[ $status -eq 0 ] || exit 1

program_files=$(in_demo "$WINE" cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')
[ "$arch" = x64 ] || program_files="$program_files (x86)"
install=$(unix "$program_files\\Tavrin")
echo "  installed in $program_files\\Tavrin:"
(cd "$install" && find . -type f | sort | while read -r file; do
  printf '    %-20s %9s bytes\n' "${file#./}" "$(stat -c %s "$file")"; done)
shortcut=$(find "$WINEPREFIX/drive_c" -name Tavrin.lnk | head -n1)
echo "  Start menu shortcut: $(dos "$shortcut")"

echo
echo "== Tavrin started through the Start menu shortcut on a catalog (Java runtime: the STAND-IN jvm.dll)"
mkdir -p "$demo/Java/jre1.8/bin/client" "$demo/Catalogs"
cp "$build/doubles/jvm/jvm.dll" "$demo/Java/jre1.8/bin/client/"
printf 'Tavrin catalog\n' >"$demo/Catalogs/Tape 12 (Summer).tvr"
family='HKLM\Software\JavaSoft\Java Runtime Environment'
in_demo "$WINE" reg add "$family" /v CurrentVersion /d 1.8 /f $view >/dev/null 2>&1
in_demo "$WINE" reg add "$family\\1.8" /v JavaHome /d "$(dos "$demo/Java/jre1.8")" /f $view >/dev/null 2>&1
catalog=$(dos "$demo/Catalogs/Tape 12 (Summer).tvr")
echo "  start /wait \"$(dos "$shortcut")\" \"$catalog\""
status=0
# QuickTime for Java, which the launcher requires, belongs to the machine.
printf 'QuickTime for Java placeholder\n' >"$demo/QTJava.zip"
in_demo env QTJAVA="$(dos "$demo/QTJava.zip")" "$WINE" start /wait "$(dos "$shortcut")" "$catalog" || status=$?
echo "  exit code: $status"
local_app_data=$(in_demo "$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
log=$(unix "$local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt")
echo "  -- error log $local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt"
sed 's/\r$//; s/^/    /' "$log"

echo
echo "== Programs and Features"
# Windows Installer names the entry by the package's product code.
product_code=$(msiinfo export "$package" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\'$product_code
query "$entry" | grep -E 'HKEY|DisplayName|Publisher|DisplayVersion|DisplayIcon|EstimatedSize|UninstallString' || true
echo "== The catalog file type"
for key in 'HKLM\Software\Classes\.tvr' 'HKLM\Software\Classes\tvrfile'; do query "$key" /s; done

echo
echo "== Removal: msiexec /x \"$msi\" /qn"
status=0
in_demo "$WINE" msiexec /x "$msi" /qn || status=$?
echo "  exit code: $status"
left=()
[ ! -e "$install" ] || left+=("the installation folder")
[ ! -e "$shortcut" ] || left+=("the shortcut")
! exists 'HKLM\Software\Classes\.tvr' || left+=("the file type")
! exists "$entry" || left+=("the uninstall entry")
echo "  the error log is still there: $([ -f "$log" ] && echo yes || echo no)"
if [ $status -eq 0 ] && [ ${#left[@]} -eq 0 ] && [ -f "$log" ]; then
  echo "Installed $(basename "$package") (exit code 0), started Tavrin through its Start menu shortcut, removed it: nothing of it is left but the user's error log."
else
  echo "The package's removal left: ${left[*]:-nothing}; exit code $status" >&2
  exit 1
fi
