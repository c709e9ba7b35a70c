#!/usr/bin/env bash
# Fails unless every DLL the Windows executable (32- or 64-bit) imports is a
# system DLL.
set -euo pipefail
exe=$1
case $(file -b "$exe") in
    PE32+\ *) triple=x86_64-w64-mingw32 ;;
    PE32\ *) triple=i686-w64-mingw32 ;;
    *) echo "$exe is not a Windows executable" >&2; exit 1 ;;
esac
allowed='^(kernel32|user32|gdi32|opengl32|glu32|winmm|msvcrt|advapi32|shell32|ole32)\.dll$'
dlls=$("$triple-objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$dlls" ] || { echo "$exe: no imports found" >&2; exit 1; }
bad=$(printf '%s\n' "$dlls" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$exe imports non-system DLLs: $bad" >&2
  exit 1
fi
echo "$exe (${triple%%-*}) imports only system DLLs: $(echo $dlls)"
