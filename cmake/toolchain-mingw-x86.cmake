# Cross-build for 32-bit Windows with MinGW-w64: the shipped programs. They run here in the i686
# lane (32-bit Wine under qemu-user, scripts/setup-i686-lane.sh).
# The win32 thread model: the C++ runtime's own locks (static locals, exception frames) then
# sit on critical sections and semaphores, where the posix model links winpthreads, whose
# imports (GetTickCount64, AddVectoredExceptionHandler) keep a program from loading on
# Windows NT 4.0. The programs use common/Synchronization.h and common/Thread.h, never
# std::thread, so nothing is lost.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(OSTREL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${OSTREL_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${OSTREL_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER  ${OSTREL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
