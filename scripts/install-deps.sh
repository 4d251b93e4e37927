#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root: the mingw-w64
# cross-compilers for x86 and x64 (posix threads), the host's g++ (for the
# programs the build runs), Wine 64-bit and 32-bit (the i386 architecture) with
# GStreamer's amd64 and i386 plugins (for each media detector), a JDK, CMake,
# GoogleTest's sources and ffmpeg (for media fixtures). Safe to run again; the
# 32-bit packages install even on a host that cannot run them.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  openjdk-17-jdk-headless
  wine wine64 wine32:i386
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  ffmpeg
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
