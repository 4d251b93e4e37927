#!/usr/bin/env bash
# package-codes.sh <wixl> <layout> <version> <arch> <icon> <package.msi> <upgrade.msi>
# The build's package against another made from its layout with
# installer/make-msi.cmake, and against the build's package of a higher version:
# the upgrade code is the same in all three; the product code is the same for
# one version and another for the next (a major upgrade); every package has a
# package code of its own; the product version is the build's version.
set -euo pipefail
wixl=$1 layout=$2 version=$3 arch=$4 icon=$5 package=$6 higher=$7
make_msi=$(dirname "$0")/../../installer/make-msi.cmake
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for file in "$package" "$higher"; do
  [ -f "$file" ] || { echo "FAIL: no package $file (the build makes it)"; exit 1; }
done

property() {  # property <package> <name>
  msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'
}
package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }
make_package() {  # make_package <version> <output>
  cmake -DWIXL="$wixl" -DLAYOUT="$layout" -DVERSION="$1" -DARCH="$arch" -DICON="$icon" -DOUTPUT="$2" -P "$make_msi"
}
higher_version=$(property "$higher" ProductVersion)
make_package "$version" "$work/again.msi"

failed=0
expect() {  # expect <what> <condition...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi
}
guid='^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$'
for file in "$package" "$work/again.msi" "$higher"; do
  for code in "$(property "$file" ProductCode)" "$(property "$file" UpgradeCode)" "$(package_code "$file")"; do
    [[ $code =~ $guid ]] || { echo "FAIL: $(basename "$file") has a code that is no GUID: \"$code\""; failed=1; }
  done
done
expect "product version $version" [ "$(property "$package" ProductVersion)" = "$version" ]
expect "the same product code in another build of $version" \
  [ "$(property "$package" ProductCode)" = "$(property "$work/again.msi" ProductCode)" ]
expect "another product code for $higher_version" \
  [ "$(property "$package" ProductCode)" != "$(property "$higher" ProductCode)" ]
upgrade_code=$(property "$package" UpgradeCode)
expect "the same upgrade code in every build and version" \
  [ "$upgrade_code" = "$(property "$work/again.msi" UpgradeCode)" -a \
    "$upgrade_code" = "$(property "$higher" UpgradeCode)" ]
expect "a new package code for each build" \
  [ "$(package_code "$package")" != "$(package_code "$work/again.msi")" ]
exit $failed
