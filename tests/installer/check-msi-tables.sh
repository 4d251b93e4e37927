#!/usr/bin/env bash
# check-msi-tables.sh <package.msi> <x86|x64>
# Reads a Windows Installer package's tables (msitools) and checks what
# Windows' own consistency rules demand of it, which Wine's installer does not
# enforce:
#   - every component has a GUID of its own (braced, upper case, used once) and
#     one key path: a file or registry row of that same component;
#   - a component with a shortcut (a Start menu folder is in a user profile as
#     far as those rules know) has a registry value under HKCU as its key path;
#   - no file is installed by two components (no two rows for one target);
#   - every component belongs to a feature and lives in a listed folder;
#   - the package's platform matches its components': 64-bit components only,
#     and all of them, in an x64 package (template "x64;..."), none in an x86
#     package (template "Intel;...").
# Prints one line per fault and exits 1 when there is any.
set -euo pipefail
package=$1 arch=$2
[ -f "$package" ] || { echo "FAIL: no package $package (the build makes it)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A table's rows, without the three header lines of msiinfo's export format.
for table in Component File Registry Shortcut FeatureComponents Directory; do
  msiinfo export "$package" "$table" | tr -d '\r' | tail -n +4 >"$work/$table"
done
template=$(msiinfo suminfo "$package" | sed -n 's/^Template: //p')

# Each premise first: a package without components or files checks nothing.
[ -s "$work/Component" ] || { echo "FAIL: $package has no components"; exit 1; }
[ -s "$work/File" ] || { echo "FAIL: $package has no files"; exit 1; }
[ -s "$work/Shortcut" ] || { echo "FAIL: $package has no shortcut"; exit 1; }

case $arch in
  x64) platform=x64 component64=1 ;;
  x86) platform=Intel component64=0 ;;
  *) echo "FAIL: unknown architecture $arch"; exit 1 ;;
esac

faults=$(awk -F'\t' -v dir="$work" -v arch="$arch" -v platform="$platform" -v template="$template" \
             -v component64="$component64" '
  function fault(text) { print "FAIL: " text }
  function hex(n,  text) { while (n-- > 0) text = text "[0-9A-F]"; return text }
  BEGIN {
    # mawk knows no {n} repetition.
    guidPattern = "^[{]" hex(8) "-" hex(4) "-" hex(4) "-" hex(4) "-" hex(12) "[}]$"
    split(template, parts, ";")
    if (parts[1] != platform)
      fault("the package'\''s platform is \"" parts[1] "\" (template \"" template "\"), not " platform)
    while ((getline line < (dir "/Directory")) > 0) { split(line, f, "\t"); directory[f[1]] = 1 }
    # File: File, Component_, FileName, ...
    while ((getline line < (dir "/File")) > 0) {
      split(line, f, "\t"); fileComponent[f[1]] = f[2]; fileName[f[1]] = f[3]
    }
    # Registry: Registry, Root, Key, Name, Value, Component_
    while ((getline line < (dir "/Registry")) > 0) {
      split(line, f, "\t"); registryComponent[f[1]] = f[6]; registryRoot[f[1]] = f[2]
    }
    while ((getline line < (dir "/Shortcut")) > 0) { split(line, f, "\t"); shortcutOf[f[4]] = f[1] }
    while ((getline line < (dir "/FeatureComponents")) > 0) { split(line, f, "\t"); inFeature[f[2]] = 1 }
    # Component: Component, ComponentId, Directory_, Attributes, Condition, KeyPath
    while ((getline line < (dir "/Component")) > 0) {
      split(line, f, "\t")
      name = f[1]; guid = f[2]; folder = f[3]; attributes = f[4] + 0; keyPath = f[6]
      componentFolder[name] = folder
      if (guid !~ guidPattern)
        fault("component " name " has no stable GUID (\"" guid "\")")
      else if (guid in owner)
        fault("components " owner[guid] " and " name " share the GUID " guid)
      else
        owner[guid] = name
      registryKeyPath = int(attributes / 4) % 2
      if (keyPath == "")
        fault("component " name " has no key path")
      else if (registryKeyPath && registryComponent[keyPath] != name)
        fault("component " name "'\''s key path " keyPath " is not a registry value of it")
      else if (!registryKeyPath && fileComponent[keyPath] != name)
        fault("component " name "'\''s key path " keyPath " is not a file of it")
      if (name in shortcutOf && !(registryKeyPath && registryRoot[keyPath] == "1"))
        fault("component " name " holds the shortcut " shortcutOf[name] " but its key path is not a value under HKCU")
      if (int(attributes / 256) % 2 != component64)
        fault("component " name " is " (component64 ? "not " : "") "a 64-bit component in an " arch " package")
      if (!(name in inFeature))
        fault("component " name " belongs to no feature")
      if (!(folder in directory))
        fault("component " name " is in the unlisted folder " folder)
    }
    for (file in fileComponent) {
      if (!(fileComponent[file] in componentFolder)) {
        fault("file " file " belongs to the unlisted component " fileComponent[file])
        continue
      }
      # The long name of "short|long" is what lands on the disk.
      target = componentFolder[fileComponent[file]] "\\" tolower(fileName[file])
      sub(/\\[^\\|]*\|/, "\\", target)
      if (target in installedBy)
        fault("file " target " is installed by both " installedBy[target] " and " fileComponent[file])
      else
        installedBy[target] = fileComponent[file]
    }
  }')
if [ -n "$faults" ]; then
  echo "$faults"
  exit 1
fi
echo "$package: $(wc -l <"$work/Component") components, $(wc -l <"$work/File") files, $(wc -l <"$work/Registry") registry values, $(wc -l <"$work/Shortcut") shortcut; platform $template"
