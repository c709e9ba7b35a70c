# The 64-bit Windows test build: tests/win32/posix-threads.cmake's POSIX
# thread model on the mingw-w64 x86_64 compilers.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/x86_64-w64-mingw32.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(INTRO_WIN32_TESTS ON)
