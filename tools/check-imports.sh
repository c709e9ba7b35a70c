#!/usr/bin/env bash
# Fails unless every DLL the Windows executable imports is a system DLL.
set -euo pipefail
exe=$1
allowed='^(kernel32|user32|gdi32|opengl32|glu32|winmm|msvcrt|advapi32|shell32|ole32)\.dll$'
dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$dlls" ] || { echo "$exe: no imports found" >&2; exit 1; }
bad=$(printf '%s\n' "$dlls" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$exe imports non-system DLLs: $bad" >&2
  exit 1
fi
file "$exe" | grep -q 'PE32 executable' || { echo "$exe is not a PE32 executable" >&2; exit 1; }
echo "$exe imports only system DLLs: $(echo $dlls)"
