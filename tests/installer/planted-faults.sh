#!/usr/bin/env bash
# planted-faults.sh <x64 package.msi>
# check-msi-tables.sh catches each fault planted in a copy of a good package:
# a component without key path, a component GUID used twice, a shortcut whose
# component has a file as its key path, and a 64-bit component in an x86
# package (the package made an x86 one, its components 32-bit but one).
set -euo pipefail
package=$1
check=$(dirname "$0")/check-msi-tables.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

guid_of() {  # guid_of <package> <component>
  msiinfo export "$1" Component | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'
}
sql() {  # sql <package> <query>: one query per msibuild call, as it takes one
  msibuild "$1" -q "$2"
}

# expect_caught <name> <arch> <expected fault line> <planting command...>
expect_caught() {
  local name=$1 arch=$2 expected=$3 copy=$work/$1.msi output
  shift 3
  cp "$package" "$copy"
  "$@" "$copy"
  if output=$("$check" "$copy" "$arch"); then
    echo "FAIL: $name: the check passed a package with the fault planted"
    failed=1
  elif ! grep -qxF "FAIL: $expected" <<<"$output"; then
    echo "FAIL: $name: the check did not say \"$expected\" but:"
    echo "$output"
    failed=1
  else
    echo "caught: $name: $expected"
  fi
}

# The premise: the good package passes as it is.
"$check" "$package" x64 >/dev/null || { echo "FAIL: $package does not pass the check unplanted"; exit 1; }
launcher_guid=$(guid_of "$package" Launcher)
[ -n "$launcher_guid" ] || { echo "FAIL: $package has no component Launcher"; exit 1; }

no_key_path() { sql "$1" "UPDATE Component SET KeyPath = '' WHERE Component = 'Pellux'"; }
expect_caught no-key-path x64 "component Pellux has no key path" no_key_path

reused_guid() { sql "$1" "UPDATE Component SET ComponentId = '$launcher_guid' WHERE Component = 'Pellux'"; }
expect_caught reused-guid x64 "components Launcher and Pellux share the GUID $launcher_guid" reused_guid

shortcut_file_key() {
  sql "$1" "UPDATE Component SET Attributes = 256, KeyPath = 'Tavrin.exe' WHERE Component = 'StartMenuShortcut'"
}
expect_caught shortcut-file-key-path x64 \
  "component StartMenuShortcut holds the shortcut TavrinShortcut but its key path is not a value under HKCU" \
  shortcut_file_key

# An x86 package: the template says Intel and the components are 32-bit
# (bit 256 cleared), which passes; then one component is 64-bit again.
as_x86_package() {
  local package_code
  package_code=$(tr a-z A-Z </proc/sys/kernel/random/uuid)
  msibuild "$1" -s "Installation Database" Orlesk "Intel;1033" "{$package_code}"
  sql "$1" "UPDATE Component SET Attributes = 0 WHERE Attributes = 256"
  sql "$1" "UPDATE Component SET Attributes = 4 WHERE Attributes = 260"
}
cp "$package" "$work/x86.msi"
as_x86_package "$work/x86.msi"
"$check" "$work/x86.msi" x86 >/dev/null || { echo "FAIL: the package made x86 does not pass unplanted"; failed=1; }
x64_component_in_x86() {
  as_x86_package "$1"
  sql "$1" "UPDATE Component SET Attributes = 256 WHERE Component = 'Pellux'"
}
expect_caught x64-component-in-x86-package x86 "component Pellux is a 64-bit component in an x86 package" \
  x64_component_in_x86

exit $failed
