#!/usr/bin/env bash
# scripts/demo-launch.sh <build dir>
# Lays out a demo installation of Tavrin in a temporary folder, registers the
# stand-in Java runtime in a fresh Wine prefix, opens a catalog with Tavrin.exe
# exactly as the shell's open command would ("<exe>" "<catalog>"), and prints
# the error log, what the runtime was given, and the file-type keys.
#
# The Java runtime is a STAND-IN: there is no Windows JVM on this machine, so
# doubles/jvm builds a jvm.dll of our own on the strict JNI double. It plays the
# bootstrap class orlesk.tavrin.SecureLauncher: its main reads the application's
# scrambled main class from lib\tavrin.jar, has the launcher's registered
# defineClass native restore and define it, and prints that class's greeting.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)

for file in launcher/Tavrin.exe doubles/jvm/jvm.dll app/lib/tavrin.jar app/lib/resources.jar; do
  if [ ! -f "$build/$file" ]; then
    echo "demo-launch: $build/$file is missing; build first (scripts/build.sh)" >&2
    exit 1
  fi
done

demo=$(mktemp -d /tmp/tavrin-demo.XXXXXX)
trap 'WINEPREFIX="$demo/prefix" wineserver -k 2>/dev/null || true; rm -rf "$demo"' EXIT
export WINEPREFIX=$demo/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
if [ -f "$build/wine/template/.ready" ]; then
  cp -a "$build/wine/template" "$WINEPREFIX"
else
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
dos() { winepath -w "$1" 2>/dev/null; }

# The installation as the application ships it.
install=$demo/Tavrin
mkdir -p "$install/lib" "$demo/Catalogs" "$demo/Java/jre1.8/bin/client"
cp "$build/launcher/Tavrin.exe" "$install/"
cp "$build/app/lib/tavrin.jar" "$build/app/lib/resources.jar" "$install/lib/"
if [ -f "$build/pellux/Pellux.dll" ]; then cp "$build/pellux/Pellux.dll" "$install/lib/"; fi
printf 'grant {\n  permission java.security.AllPermission;\n};\n' > "$install/lib/java.policy"
printf 'QuickTime for Java placeholder\n' > "$install/lib/QTJava.zip"
printf 'Tavrin catalog\n' > "$demo/Catalogs/Tape 12 (Summer).tvr"
cp "$build/doubles/jvm/jvm.dll" "$demo/Java/jre1.8/bin/client/jvm.dll"

# The stand-in runtime, registered like a real one.
family='HKLM\Software\JavaSoft\Java Runtime Environment'
(cd "$demo" && wine reg add "$family" /v CurrentVersion /d 1.8 /f >/dev/null 2>&1 &&
  wine reg add "$family\\1.8" /v JavaHome /d "$(dos "$demo/Java/jre1.8")" /f >/dev/null 2>&1)

exe=$(dos "$install/Tavrin.exe")
catalog=$(dos "$demo/Catalogs/Tape 12 (Summer).tvr")
echo "== A launch of Tavrin.exe on a catalog (Java runtime: the STAND-IN jvm.dll of doubles/jvm, not a real JVM)"
echo "  installation: $(dos "$install")"
(cd "$install" && find . -type f | sort | sed 's|^\./|    |')
echo "  runtime:      $(dos "$demo/Java/jre1.8")\\bin\\client\\jvm.dll (stand-in), registered under $family\\1.8"
echo "  open command: \"$exe\" \"$catalog\""
status=0
(cd "$demo" && TAVRIN_JVM_RECORD=$(dos "$demo/record.txt") wine "$install/Tavrin.exe" "$catalog") || status=$?
echo "  exit code:    $status"

local_app_data=$(cd "$demo" && wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
log=$(winepath -u "$local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt" 2>/dev/null)
echo
echo "== Error log $local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt"
sed 's/\r$//; s/^/  /' "$log"
echo
echo "== What the stand-in Java runtime was given and did"
sed 's/^/  /' "$demo/record.txt"
echo
echo "== Catalog file type below HKEY_CLASSES_ROOT"
for key in 'HKCR\.tvr' 'HKCR\tvrfile'; do
  (cd "$demo" && wine reg query "$key" /s 2>/dev/null) | tr -d '\r' | sed '/^$/d; s/^/  /'
done
