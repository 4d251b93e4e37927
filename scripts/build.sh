#!/usr/bin/env bash
# scripts/build.sh [build root] [x86|x64 ...]: configures (once) and builds
# everything for each architecture (both by default): Pellux.dll, Tavrin.exe,
# the jar, the test doubles, tools, test programs and the installation ZIP.
# Build trees: <build root>/x86 and <build root>/x64.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${1:-${BUILD_DIR:-$top/build}}")
shift || true
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86 x64)

for arch in "${archs[@]}"; do
  build=$root/$arch
  if [ ! -f "$build/CMakeCache.txt" ]; then
    # The x64 tree also checks the x86 tree's binaries and package statically.
    cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_PEER_BUILD_DIR="$root/x86" >/dev/null
  fi
  echo "build: $arch"
  cmake --build "$build" -j"$(nproc)"
  (cd "$build" && cpack -G ZIP >/dev/null)
done
