# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 GCC, posix threads variant
# (package g++-mingw-w64-x86-64-posix: std::thread and std::mutex over winpthreads).
# Programs are linked statically, so they need no MinGW DLL beside them, and run under Wine for the tests:
# tests/support/wine_run.sh keeps a private Wine prefix inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZT_MINGW_TRIPLET}-windres)

# Headers and libraries of the target only; programs (the host's tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, in a prefix of their own inside the build folder.
get_filename_component(ZT_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine_run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZT_WINE_RUN};${CMAKE_BINARY_DIR}/wine")
