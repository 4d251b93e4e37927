# Sourced by every script that starts Wine. Wine's loader is chosen by the
# architecture of the program it runs, never by Debian's `wine` wrapper, which
# picks the 32-bit loader whenever it is installed, even on a host whose kernel
# cannot run 32-bit code.
#
#   wine_arch_of <program.exe>   prints x86 or x64 from the PE header's machine
#   wine_select <x86|x64>        exports the loader, prefix kind and quiet settings;
#                                $WINE is then the loader to run programs with
#   wine_make_prefix <folder>    makes a new prefix of the selected kind
#   wine_fresh_prefix <root> <folder>
#                                makes <folder> a copy of <root>/template, a
#                                prefix of the selected kind made once per root

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

wine_select() {
  case $1 in
    x64) WINE=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
    x86) WINE=/usr/lib/wine/wine; export WINEARCH=win32 ;;
    *) echo "wine_select: unknown architecture '$1'" >&2; return 1 ;;
  esac
  export WINELOADER=$WINE WINESERVER=/usr/lib/wine/wineserver
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installer prompts; no sound driver (there is no sound card).
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winealsa.drv,winepulse.drv=d"}
  export DISPLAY=                            # never open a window
}

wine_make_prefix() {
  local log
  log=$(mktemp)
  if ! WINEPREFIX=$1 "$WINE" wineboot -i >/dev/null 2>"$log"; then
    # The last line says why, without the shell's "<script>: line N: " in front.
    echo "$WINE could not make a prefix: $(grep -v '^$' "$log" | tail -n1 | sed 's/^.*line [0-9]*: //')" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
  WINEPREFIX=$1 "$WINESERVER" -w
}

wine_fresh_prefix() {
  local root=$1 prefix=$2 template=$1/template
  mkdir -p "$root"
  (
    flock 9
    if [ ! -f "$template/.ready" ] || [ "$(cat "$template/.ready")" != "$WINEARCH" ]; then
      rm -rf "$template"
      wine_make_prefix "$template" || exit 1
      echo "$WINEARCH" >"$template/.ready"
    fi
  ) 9>"$root/.lock" || return 1
  WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$prefix"
  cp -a "$template" "$prefix"
}
