# Cross-compiles the program that ships, Tolvex111.exe, for 32-bit Windows with
# Debian's MinGW-w64 (i686) in its win32 thread model. Its C++ runtime (the
# guards of function-local statics, the unwinder) then uses only what Windows XP
# SP3 already has; the posix model's winpthread calls GetTickCount64, which
# exists from Vista on, and XP's loader refuses such a program.
set(TOLVEX_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
