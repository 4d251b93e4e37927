# Sourced by every script that starts Wine. Wine's loader is chosen by the
# architecture of the program it runs, never by Debian's `wine` wrapper, which
# picks the 32-bit loader whenever it is installed, even on a host whose kernel
# cannot run 32-bit code.
#
# x86 programs always run in a 64-bit prefix, as a 32-bit program runs on
# 64-bit Windows (its own registry view, file-system redirection,
# IsWow64Process true), in one of two modes:
#   native  the ordinary 32-bit Wine loader, on a host that runs 32-bit Linux
#           programs (started through wine64, which hands 32-bit programs on
#           to it);
#   wow64   Wine's WoW64 mode: a 64-bit Wine process runs the 32-bit program,
#           with no 32-bit Linux code, from a tree that wine-wow64-tree.sh
#           assembles in the build folder.
# TAVRIN_X86_WINE=native|wow64 forces a mode; unset, the mode is native when
# the 32-bit loader runs here, otherwise wow64.
#
#   wine_arch_of <program.exe>   prints x86 or x64 from the PE header's machine
#   wine_select <x86|x64> <prefix root>
#                                exports the loader, prefix kind and quiet settings;
#                                $WINE is then the loader to run programs with and
#                                $WINE_MODE says how (x64, native or wow64)
#   wine_native_x86_runs         succeeds when the 32-bit loader runs on this host
#   wine_start <command...>      runs a command that starts Wine, without address
#                                randomization where the host allows it (below);
#                                $WINE_LAYOUT says which (fixed or random)
#   wine_make_prefix <folder>    makes a new prefix of the selected kind
#   wine_fresh_prefix <root> <folder>
#                                makes <folder> a copy of <root>/template, a
#                                prefix of the selected kind made once per root
#                                (sharing Windows' own program files with it)

wine_arch_of() {
  local offset machine
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || { echo "wine_arch_of: $1 is not a Windows program" >&2; return 1; }
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' ')
  case $machine in
    014c) echo x86 ;;
    8664) echo x64 ;;
    *) echo "wine_arch_of: $1 has PE machine 0x$machine, neither x86 nor x64" >&2; return 1 ;;
  esac
}

wine_native_x86_runs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Debian's Wine loader comes without the preloader that keeps a Wine process's
# low address space free: it is linked at 0x7d000000, and the kernel starts its C
# heap anywhere in the GiB above it. Now and then that heap covers 0x7ffe0000,
# where every Windows process keeps its shared user data, and the process ends
# as it starts ("failed to map the shared user data: c0000018"), failing
# whichever test started it. Without address randomization, which every process
# Wine starts inherits, the heap begins right after the loader, far below.
wine_fix_layout() {
  local machine
  machine=$(uname -m)
  if setarch "$machine" -R true 2>/dev/null; then
    WINE_START=(setarch "$machine" -R) WINE_LAYOUT=fixed
  else
    WINE_START=() WINE_LAYOUT=random
  fi
}

wine_start() {
  "${WINE_START[@]}" "$@"
}

wine_select() {
  local arch=$1 root=${2:-}
  case $arch in
    x64) WINE_MODE=x64 ;;
    x86)
      case ${TAVRIN_X86_WINE:-} in
        native | wow64) WINE_MODE=$TAVRIN_X86_WINE ;;
        '') if wine_native_x86_runs; then WINE_MODE=native; else WINE_MODE=wow64; fi ;;
        *) echo "wine_select: TAVRIN_X86_WINE is '$TAVRIN_X86_WINE', not native or wow64" >&2; return 1 ;;
      esac ;;
    *) echo "wine_select: unknown architecture '$arch'" >&2; return 1 ;;
  esac
  WINE=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver
  if [ "$WINE_MODE" = wow64 ]; then
    [ -n "$root" ] || { echo "wine_select: WoW64 mode needs a prefix root for its Wine tree" >&2; return 1; }
    local tree=$root/wow64-wine
    "$(dirname "${BASH_SOURCE[0]}")/wine-wow64-tree.sh" "$tree" || return 1
    WINE=$tree/lib/wine/wine64 WINESERVER=$tree/lib/wine/wineserver
  fi
  # Test programs read the mode to skip what WoW64 mode lacks, saying so.
  export TAVRIN_WINE_MODE=$WINE_MODE
  export WINEARCH=win64 WINELOADER=$WINE
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installer prompts; no sound driver (there is no sound card).
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winealsa.drv,winepulse.drv=d"}
  export DISPLAY=                            # never open a window
  wine_fix_layout
}

wine_make_prefix() {
  local log
  log=$(mktemp)
  if ! WINEPREFIX=$1 wine_start "$WINE" wineboot -i >/dev/null 2>"$log"; then
    # The last line says why, without the shell's "<script>: line N: " in front.
    echo "$WINE could not make a prefix: $(grep -v '^$' "$log" | tail -n1 | sed 's/^.*line [0-9]*: //')" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
  WINEPREFIX=$1 "$WINESERVER" -w
}

# Windows' own program images and code-page tables make up nearly all of a
# prefix (some 690 MB of 700 MB). Wine only maps or reads them, so every prefix
# shares them with the template through hard links, and a run of all suites
# needs some megabytes a prefix instead of a whole copy each. Everything Wine
# or a program may rewrite in place (registry, .ini and text files, logs) is a
# copy of the prefix's own.
wine_shared_files='.*\.\(dll\|exe\|com\|drv\|sys\|ocx\|acm\|cpl\|ax\|ds\|tlb\|nls\|msstyles\)'

wine_copy_prefix() {  # wine_copy_prefix <template> <prefix>
  cp -a --link "$1" "$2" || return 1
  find "$2" -type f ! -iregex "$wine_shared_files" -exec sh -c \
    'for f do cp -p "$f" "$f.own" && mv -f "$f.own" "$f" || exit 1; done' sh {} +
}

wine_fresh_prefix() {
  local root=$1 prefix=$2 template=$1/template stamp
  # A prefix made in one mode or by another Wine is never reused: an update by
  # another Wine would rewrite the shared files in place.
  stamp="$WINEARCH $WINE_MODE $("$WINE" --version 2>/dev/null)"
  mkdir -p "$root"
  (
    flock 9
    if [ ! -f "$template/.ready" ] || [ "$(cat "$template/.ready")" != "$stamp" ]; then
      rm -rf "$template"
      wine_make_prefix "$template" || exit 1
      echo "$stamp" >"$template/.ready"
    fi
  ) 9>"$root/.lock" || return 1
  WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$prefix"
  wine_copy_prefix "$template" "$prefix"
}
