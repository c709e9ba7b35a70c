#!/usr/bin/env bash
# Prints how the Windows intro's size splits into embedded assets and the
# rest (code, runtime, tables, headers), and fails when the rest outgrows its
# budget. Usage: size_budget.sh INTRO_EXE [BUDGET_KIB]
set -euo pipefail
exe=$1
budget=$(( ${2:-200} * 1024 ))
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$exe" ] || { echo "FAIL: no $exe" >&2; exit 1; }
total=$(stat -c %s "$exe")
assets=0
for f in picture.idx picture.pal tune.xm; do
    assets=$(( assets + $(stat -c %s "$root/assets/$f") ))
done
rest=$(( total - assets ))
printf '%-28s %9d bytes\n' "$(basename "$exe")" "$total"
printf '%-28s %9d bytes\n' "  picture, palette and tune" "$assets"
printf '%-28s %9d bytes (%d KiB; budget %d KiB)\n' "  code, runtime and the rest" "$rest" \
    $(( (rest + 1023) / 1024 )) $(( budget / 1024 ))
if [ "$rest" -gt "$budget" ]; then
    echo "FAIL: beyond its assets the executable is over budget" >&2
    exit 1
fi
