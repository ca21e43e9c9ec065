# Cross-compiles the 64-bit build for Windows x64 with Debian's MinGW-w64
# (x86_64, posix threads): the program and its Wine test programs from the same
# sources. It does not ship; it keeps the code honest about pointer sizes, and it
# is what the Wine tests run on machines whose kernel runs no 32-bit programs.
set(TOLVEX_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
