#!/usr/bin/env bash
# check-prefix-sharing.sh <prefix root>: a fresh prefix shares Windows' program
# images with the template, and what a program rewrites in place stays its own.
# cmd.exe, started through wine-run.sh as every suite is, appends to win.ini in
# place, as Wine's profile functions rewrite it; the template must read as
# before. (A program that wrote over a shared image in place would reach the
# template: no suite writes into Windows' own folders.)
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
root=$(realpath -m "$1")
name=prefix_sharing
prefix=$root/$name template=$root/template
cmd=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cmd.exe
fail() { echo "FAILED: $*"; exit 1; }

marker="prefix-sharing-$$"
"$top/scripts/wine-run.sh" "$root" $name "$cmd" /c \
  "echo $marker>>C:\\windows\\win.ini" \
  >/dev/null 2>&1 || fail "cmd.exe did not run in a fresh prefix"

# The premise: the prefix holds the template's images as links, not copies.
shared=$(find "$prefix/drive_c/windows/system32" -maxdepth 1 -name '*.dll' -links +1 | wc -l)
[ "$shared" -gt 0 ] || fail "no program image of the prefix is shared with the template"
[ "$prefix/drive_c/windows/system32/kernel32.dll" -ef "$template/drive_c/windows/system32/kernel32.dll" ] ||
  fail "kernel32.dll of the prefix is a copy, not the template's"

grep -q "$marker" "$prefix/drive_c/windows/win.ini" || fail "cmd.exe did not append to the prefix's win.ini"
! grep -q "$marker" "$template/drive_c/windows/win.ini" || fail "the append to win.ini reached the template"
echo "ok: $shared images in system32 shared with the template; win.ini rewritten in the prefix only"
