#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12.
#   install-deps.sh intro   the native intro only
#   install-deps.sh all     everything: native, Windows cross build, Wine, tests
set -euo pipefail
what=${1:-all}
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

intro_pkgs=(g++ cmake make libsdl2-dev libglu1-mesa-dev)
test_pkgs=(libgtest-dev libbenchmark-dev libosmesa6-dev xvfb xdotool imagemagick
           g++-mingw-w64-i686 g++-mingw-w64-x86-64 clang-14 libfuzzer-14-dev libclang-rt-14-dev
           openmpt123 xmp sox python3 file time googletest pkg-config)
# wine64 runs the 64-bit build on machines that cannot start 32-bit programs;
# the i386 packages install there too, they just never run.
wine_pkgs=(wine wine64 wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)

pkgs=("${intro_pkgs[@]}")
if [ "$what" = all ]; then
  pkgs+=("${test_pkgs[@]}" "${wine_pkgs[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
