# Cross-build of the i686 test programs with MinGW-w64's posix thread model, for the i686 lane
# (scripts/setup-i686-lane.sh). GoogleTest and the tests' own threads need std::mutex and
# std::thread, which the win32 thread model of this toolchain lacks. The product code under
# test is compiled with the same definitions as the shipped i686 build (Windows NT 4.0
# headers); the shipped programs themselves are not taken from here: the lane runs those of
# the mingw-x86 build (cmake/I686Lane.cmake copies them beside the tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(OSTREL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${OSTREL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${OSTREL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
