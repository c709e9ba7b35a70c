#!/usr/bin/env bash
# Builds everything and runs every test: the native build with its tests, the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# 32-bit and the 64-bit Windows cross build with their tests under Wine (the
# 64-bit one alone where this machine cannot start 32-bit programs), the
# installed player used by an outside program, the size profile, and bounded
# fuzzing runs of the module loader and of the whole interface.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
step() { printf '\n==== %s (%d s in)\n' "$*" "$SECONDS"; }

step "native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DINTRO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE nosan

step "the refill thread's start and stop, the read-outs, seeks and masks from other threads, and SDL's device, under ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DINTRO_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target player_tests
# The exact-stream test reads the ring from a stand-in device thread without
# the device's own synchronisation, so it stays out of this run.
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/player_tests \
  --gtest_filter='PlaybackTest.*:LibraryPromises.*:FollowPromisesAcrossThreads.*-*Exactly*:*SeekIsHeard*'

step "Windows cross builds: 32-bit (build-win32) and 64-bit (build-win64)"
for arch in i686:win32 x86_64:win64; do
    cmake -S . -B "build-${arch#*:}" -DCMAKE_TOOLCHAIN_FILE="cmake/${arch%%:*}-w64-mingw32.cmake" >/dev/null
    cmake --build "build-${arch#*:}" -j"$jobs"
    tools/check-imports.sh "build-${arch#*:}/intro.exe"
    tests/win32/size_budget.sh "build-${arch#*:}/intro.exe"
done
cmake -S . -B build-win32-tests -DCMAKE_TOOLCHAIN_FILE=tests/win32/posix-threads.cmake >/dev/null
cmake --build build-win32-tests -j"$jobs" --target win32_tests
cmake -S . -B build-win64-tests -DCMAKE_TOOLCHAIN_FILE=tests/win32/posix-threads-x86_64.cmake >/dev/null
cmake --build build-win64-tests -j"$jobs" --target win32_tests

# Once for every script below: can this machine start 32-bit programs?
# Where it cannot, the 32-bit build is built and checked above but not run.
. tests/wine/common.sh
detectWine32

step "the installed player: examples built against its package, natively and for Windows"
tests/install/check.sh build build-win32 build-win64

step "the size profile, natively and for Windows: built, installed, used and measured"
for arch in native:size i686:win32-size x86_64:win64-size; do
    toolchain=()
    [ "${arch%%:*}" = native ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/${arch%%:*}-w64-mingw32.cmake")
    cmake -S . -B "build-${arch#*:}" -DINTROPLAYER_SIZE=ON "${toolchain[@]}" >/dev/null
    cmake --build "build-${arch#*:}" -j"$jobs"
done
tests/install/size.sh build-win32 build-size build-win32-size build-win64-size

if [ "$WINE_32BIT" = yes ]; then
    step "32-bit Windows build under Wine: unit tests, sources, renders, the intro end to end"
    tests/wine/run.sh build build-win32 build-win32-tests
fi
step "64-bit Windows build under Wine: unit tests, sources, renders, the intro end to end"
tests/wine/run.sh build build-win64 build-win64-tests

if [ -f fuzz/CMakeLists.txt ]; then
  step "fuzzing the module loader and the whole interface"
  CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz >/dev/null
  cmake --build build-fuzz -j"$jobs"
  fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-90}"
fi

step "all checks passed"
