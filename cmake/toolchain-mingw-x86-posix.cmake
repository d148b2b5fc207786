# Cross-build of the i686 test programs with MinGW-w64's posix thread model, for the i686 lane
# (scripts/setup-i686-lane.sh). GoogleTest and the tests' own threads need std::mutex and
# std::thread, which the win32 thread model of this toolchain lacks. The product code under
# test is compiled with the same definitions as the shipped i686 build (Windows NT 4.0
# headers); the shipped programs themselves are not taken from here: the lane runs those of
# the mingw-x86 build (cmake/I686Lane.cmake copies them beside the tests).
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86.cmake)
set(CMAKE_C_COMPILER   ${OSTREL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREL_TRIPLE}-g++-posix)
