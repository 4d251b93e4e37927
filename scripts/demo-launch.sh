#!/usr/bin/env bash
# scripts/demo-launch.sh <build dir>
# Lays out a demo installation of Tavrin in a temporary folder and opens a
# catalog with Tavrin.exe four times, exactly as the shell's open command would
# ("<exe>" "<catalog>"), in a fresh Wine prefix of the program's architecture:
#   1. through a runtime bundled in the installation's "jre" folder;
#   2. through a runtime registered under "Software\JavaSoft", as an installed
#      Java registers itself (in the registry view of the program's architecture);
#   3. through a Java 25 runtime (its home's "release" file says so), which is
#      started without the security manager it would refuse;
#   4. with only a runtime of the other architecture installed, which is never
#      loaded but named to the user.
# After each it prints the error log and what the runtime was given; at the
# end, the catalog file-type keys.
#
# The Java runtime is a STAND-IN: there is no Windows JVM on this machine, so
# doubles/jvm builds a jvm.dll of our own on the strict JNI double. It plays the
# bootstrap class orlesk.tavrin.SecureLauncher: its main reads the application's
# scrambled main class from lib\tavrin.jar, has the launcher's registered
# defineClass native restore and define it, and prints that class's greeting.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)

for file in launcher/Tavrin.exe doubles/jvm/jvm.dll doubles/jvm/other-architecture/jvm.dll app/lib/tavrin.jar \
            app/lib/resources.jar; do
  if [ ! -f "$build/$file" ]; then
    echo "demo-launch: $build/$file is missing; build first (scripts/build.sh)" >&2
    exit 1
  fi
done

source "$top/scripts/wine-env.sh"
arch=$(wine_arch_of "$build/launcher/Tavrin.exe")
wine_select "$arch" "$build/wine"
# The registry view the launcher reads: its own architecture's.
if [ "$arch" = x64 ]; then view=/reg:64; else view=/reg:32; fi

demo=$(mktemp -d /tmp/tavrin-demo.XXXXXX)
export WINEPREFIX=$demo/prefix
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$demo"' EXIT
wine_fresh_prefix "$build/wine" "$WINEPREFIX"
# Run from the demo folder: a reg.exe in the current folder would be run instead.
in_demo() { (cd "$demo" && wine_start "$@"); }
dos() { in_demo "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
reg_add() { in_demo "$WINE" reg add "$1" /v "$2" /d "$3" /f $view >/dev/null 2>&1; }
reg_delete() { in_demo "$WINE" reg delete "$1" /f $view >/dev/null 2>&1 || true; }

# The installation as the application ships it, with its own runtime in "jre".
install=$demo/Tavrin
mkdir -p "$install/lib" "$install/jre/bin/server" "$demo/Catalogs" "$demo/Java/jre1.8/bin/client" \
         "$demo/Java/jdk-25/bin/server" "$demo/Java/jre-other/bin/server"
cp "$build/launcher/Tavrin.exe" "$install/"
cp "$build/app/lib/tavrin.jar" "$build/app/lib/resources.jar" "$install/lib/"
if [ -f "$build/pellux/Pellux.dll" ]; then cp "$build/pellux/Pellux.dll" "$install/lib/"; fi
cp "$top/java/java.policy" "$install/lib/"
printf 'QuickTime for Java placeholder\n' > "$install/lib/QTJava.zip"
printf 'Tavrin catalog\n' > "$demo/Catalogs/Tape 12 (Summer).tvr"
cp "$build/doubles/jvm/jvm.dll" "$install/jre/bin/server/jvm.dll"
cp "$build/doubles/jvm/jvm.dll" "$demo/Java/jre1.8/bin/client/jvm.dll"
cp "$build/doubles/jvm/jvm.dll" "$demo/Java/jdk-25/bin/server/jvm.dll"
printf 'IMPLEMENTOR="Stand-in"\nJAVA_VERSION="25"\nOS_NAME="Windows"\n' > "$demo/Java/jdk-25/release"
cp "$build/doubles/jvm/other-architecture/jvm.dll" "$demo/Java/jre-other/bin/server/jvm.dll"

exe=$(dos "$install/Tavrin.exe")
catalog=$(dos "$demo/Catalogs/Tape 12 (Summer).tvr")
local_app_data=$(in_demo "$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
log=$(in_demo "$WINE" winepath -u "$local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt" 2>/dev/null)

# launch <title>: opens the catalog, then prints the log and the runtime's record.
launch() {
  local status=0
  rm -f "$demo/record.txt"
  echo "  open command: \"$exe\" \"$catalog\""
  in_demo env TAVRIN_JVM_RECORD="$(dos "$demo/record.txt")" "$WINE" "$install/Tavrin.exe" "$catalog" || status=$?
  echo "  exit code:    $status"
  echo "  -- error log $local_app_data\\Orlesk\\Logs\\Tavrin Error Log.txt"
  sed 's/\r$//; s/^/    /' "$log"
  echo "  -- what the stand-in Java runtime was given and did"
  if [ -f "$demo/record.txt" ]; then
    sed 's/^/    /' "$demo/record.txt"
  else
    echo "    (never loaded)"
  fi
}

echo "== Tavrin.exe ($arch) on a catalog (Java runtime: the STAND-IN jvm.dll of doubles/jvm, not a real JVM)"
echo "  installation: $(dos "$install")"
(cd "$install" && find . -type f | sort | sed 's|^\./|    |')

echo
echo "== 1. Through the runtime bundled in the installation: $(dos "$install/jre")\\bin\\server\\jvm.dll (stand-in)"
echo "  no runtime registered"
launch

echo
family='HKLM\Software\JavaSoft\Java Runtime Environment'
rm -rf "$install/jre"
reg_add "$family" CurrentVersion 1.8
reg_add "$family\\1.8" JavaHome "$(dos "$demo/Java/jre1.8")"
echo "== 2. Through the registry: $(dos "$demo/Java/jre1.8")\\bin\\client\\jvm.dll (stand-in)"
echo "  registered under $family\\1.8 ($view); the installation's jre folder removed"
launch

echo
reg_delete 'HKLM\Software\JavaSoft'
reg_add 'HKLM\Software\JavaSoft\JDK' CurrentVersion 25
reg_add 'HKLM\Software\JavaSoft\JDK\25' JavaHome "$(dos "$demo/Java/jdk-25")"
echo "== 3. Through a Java 25 runtime: $(dos "$demo/Java/jdk-25")\\bin\\server\\jvm.dll (stand-in)"
echo "  registered under HKLM\Software\JavaSoft\JDK\25 ($view); its release file:"
sed 's/^/    /' "$demo/Java/jdk-25/release"
echo "  Since Java 24 a runtime asked for a security manager refuses to start; the stand-in refuses as it does."
launch

echo
other_bits=32
[ "$arch" = x64 ] || other_bits=64
reg_delete 'HKLM\Software\JavaSoft'
reg_add "$family" CurrentVersion 1.8
reg_add "$family\\1.8" JavaHome "$(dos "$demo/Java/jre-other")"
echo "== 4. Only a $other_bits-bit runtime: $(dos "$demo/Java/jre-other")\\bin\\server\\jvm.dll (a stand-in of the other architecture)"
echo "  registered under $family\\1.8 ($view); the user is told why it cannot be used"
launch

echo
echo "== Catalog file type below HKEY_CLASSES_ROOT"
for key in 'HKCR\.tvr' 'HKCR\tvrfile'; do
  in_demo "$WINE" reg query "$key" /s 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/  /'
done
