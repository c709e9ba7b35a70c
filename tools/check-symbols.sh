#!/usr/bin/env bash
# Fails unless the player archive defines no external name but the functions
# of its public header and the internals in its own namespace (introplayer),
# so that a program's own globals (`song`, `channels`, ...) never collide
# with it. Works on the native and the mingw-w64 archives.
# Usage: check-symbols.sh ARCHIVE HEADER [NM]
set -euo pipefail
archive=$1
header=$2
nm=${3:-nm}
public=$(grep -E '^[a-z][^(]*\(' "$header" | sed -E 's/^[^(]*[ *]([A-Za-z_][A-Za-z0-9_]*)\(.*/\1/' | sort -u)
[ -n "$public" ] || { echo "FAIL: no functions found in $header" >&2; exit 1; }
# The 32-bit Windows archive prefixes every name with one underscore, and
# x86_64 mingw adds .refptr. stubs for the data it reaches through pointers.
names=$("$nm" -g --defined-only "$archive" | awk 'NF == 3 {print $3}' | sort -u)
[ -n "$names" ] || { echo "FAIL: $nm found no symbols in $archive" >&2; exit 1; }
underscore=
# (A build may leave some of the header's functions out: any one will do.)
if grep -qxF -f <(printf '_%s\n' $public) <<<"$names"; then
    underscore=_
fi
stray=$(printf '%s\n' "$names" | sed -E "s/^\.refptr\.//; s/^$underscore//" |
    grep -v -x -F -f <(printf '%s\n' "$public") | grep -v -E '^_ZN11introplayer' || true)
if [ -n "$stray" ]; then
    echo "FAIL: $archive exports names outside its header and its namespace:" >&2
    printf '  %s\n' $stray >&2
    exit 1
fi
echo "$archive exports its header's $(echo "$public" | wc -l) functions and its own namespace, nothing else"
