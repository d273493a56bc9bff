# The target and compilers of every Windows build made here: Debian's MinGW-w64 GCC, posix threads variant
# (package g++-mingw-w64-x86-64-posix: std::thread and std::mutex over winpthreads). Used alone to build Qt for
# Windows (scripts/build-qt-windows.sh) and through mingw-w64-x86_64.cmake for the project.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZT_MINGW_TRIPLET}-windres)

# Headers and libraries of the target only; programs (the host's tools) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
