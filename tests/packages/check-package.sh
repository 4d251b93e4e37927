#!/usr/bin/env bash
# check-package.sh <package.zip> <x86|x64>
# The installation ZIP holds exactly the layout the launcher expects, and both
# of its binaries are of the package's architecture.
set -euo pipefail
package=$1 arch=$2
source "$(dirname "$0")/../../scripts/wine-env.sh"

[ -f "$package" ] || { echo "FAIL: no package $package (scripts/build.sh makes it)"; exit 1; }
expected=$'Tavrin.exe\nlib/Pellux.dll\nlib/java.policy\nlib/resources.jar\nlib/tavrin.jar'
listed=$(cmake -E tar tf "$package" | grep -v '/$' | sort)
if [ "$listed" != "$expected" ]; then
  echo "FAIL: $package holds"
  echo "$listed"
  echo "instead of"
  echo "$expected"
  exit 1
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$package")
failed=0
for binary in Tavrin.exe lib/Pellux.dll; do
  found=$(wine_arch_of "$unpacked/$binary") || found=unknown
  if [ "$found" != "$arch" ]; then
    echo "FAIL: $binary in $package is $found, not $arch"
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "$package: the installation layout, binaries for $arch"
exit $failed
