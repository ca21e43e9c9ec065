# The MinGW-w64 toolchain of Debian for every cross-build, in three uses:
# - as it is: the Wine test programs and benchmarks for 32-bit Windows (i686)
#   in the posix thread model, which gives the C++ library std::mutex and
#   std::thread (GoogleTest needs them); linked statically, the programs run
#   on their own. Its thread library calls functions Windows XP lacks
#   (GetTickCount64), so the program that ships is not built so;
# - through mingw-i686-win32.cmake (TOLVEX_MINGW_THREADS win32): the program
#   that ships, in the win32 thread model;
# - through mingw-x86_64.cmake (TOLVEX_MINGW_PROCESSOR x86_64): the 64-bit
#   program and its test programs, posix threads.
set(CMAKE_SYSTEM_NAME Windows)
# The processor: i686 here, x86_64 for the 64-bit build (mingw-x86_64.cmake).
if(NOT DEFINED TOLVEX_MINGW_PROCESSOR)
  set(TOLVEX_MINGW_PROCESSOR i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${TOLVEX_MINGW_PROCESSOR})

# The thread model: posix here, win32 for the program that ships.
if(NOT DEFINED TOLVEX_MINGW_THREADS)
  set(TOLVEX_MINGW_THREADS posix)
endif()

set(TOOLCHAIN_PREFIX ${TOLVEX_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-${TOLVEX_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${TOLVEX_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
