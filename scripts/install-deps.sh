#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root: the mingw-w64
# cross-compilers for x86 and x64 (posix threads), the host's g++ (for the
# programs the build runs), Wine 64-bit and 32-bit (the i386 architecture) with
# GStreamer's amd64 and i386 plugins (for each media detector), a JDK, CMake,
# GoogleTest's sources, ffmpeg (for media fixtures), and wixl and msitools (to
# build the Windows Installer packages and read their tables). Safe to run again.
#
# x86 programs run either under the ordinary 32-bit Wine (package wine32:i386)
# or in Wine's WoW64 mode, which needs only Wine's 32-bit Windows DLLs (package
# libwine:i386). The i386 packages install even on a host that cannot run
# them; where they cannot be installed at all, the DLLs are unpacked from
# libwine:i386 into /opt/tavrin/libwine-i386 without installing it.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  openjdk-17-jdk-headless
  wine wine64
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  ffmpeg
  wixl msitools
)
i386_packages=(wine32:i386 gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
unpacked_libwine=/opt/tavrin/libwine-i386

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; }
missing_of() { local package; for package in "$@"; do installed "$package" || echo "$package"; done; }

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_i386 < <(missing_of "${i386_packages[@]}")
[ -f "$unpacked_libwine/.ready" ] && missing_i386=()
[ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing ${missing[*]} ${missing_i386[*]}; run as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 || echo "install-deps: could not add the i386 architecture" >&2
fi
apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ ${#missing_i386[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing_i386[*]}"
  if ! apt-get install -y -qq "${missing_i386[@]}" >/dev/null; then
    # WoW64 mode still runs x86 programs with the 32-bit DLLs alone.
    echo "install-deps: the i386 packages did not install; unpacking libwine:i386's DLLs into $unpacked_libwine" >&2
    download=$(mktemp -d)
    (cd "$download" && apt-get download -qq libwine:i386)
    rm -rf "$unpacked_libwine"
    mkdir -p "$unpacked_libwine"
    dpkg-deb -x "$download"/libwine_*_i386.deb "$unpacked_libwine"
    rm -rf "$download"
    touch "$unpacked_libwine/.ready"
  fi
fi
