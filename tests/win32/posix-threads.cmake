# Toolchain for the Windows test build: the same mingw-w64 i686 compilers in
# their POSIX thread model, whose runtime has the std::thread and std::mutex
# that GoogleTest and the driven test device need. The intro itself is built
# with the plain toolchain (cmake/i686-w64-mingw32.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/i686-w64-mingw32.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(INTRO_WIN32_TESTS ON)
