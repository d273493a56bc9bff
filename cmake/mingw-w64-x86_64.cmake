# Cross-compiles the project for 64-bit Windows (compilers: mingw-w64-x86_64-compilers.cmake).
# Programs are linked statically, so they need no MinGW DLL beside them, and run under Wine for the tests:
# tests/support/wine_run.sh keeps a private Wine prefix inside the build folder.
# ZT_QT_WINDOWS_DIR: Qt for Windows as scripts/build-qt-windows.sh installs it (static, with the host's Qt tools);
# with it the windows, the program, their tests and the installer are built too.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-compilers.cmake)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Given with -DZT_QT_WINDOWS_DIR=..., or else the finished build of scripts/build-qt-windows.sh if there is one.
if(NOT ZT_QT_WINDOWS_DIR)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-qt-windows.sh --query
                  OUTPUT_VARIABLE zt_qt_found OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(ZT_QT_WINDOWS_DIR "${zt_qt_found}" CACHE PATH "Qt for Windows (scripts/build-qt-windows.sh)" FORCE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZT_QT_WINDOWS_DIR)
if(ZT_QT_WINDOWS_DIR)
  # What Qt's own qt.toolchain.cmake would set: the target Qt is searched first, its tools come from the host Qt.
  list(PREPEND CMAKE_FIND_ROOT_PATH "${ZT_QT_WINDOWS_DIR}")
  list(PREPEND CMAKE_PREFIX_PATH "${ZT_QT_WINDOWS_DIR}")
  set(QT_HOST_PATH /usr CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()

# Test programs run under Wine, in a prefix of their own inside the build folder; one that Wine fails to run (Wine
# crashed, or the program ended before writing a line) is run again, and the failure is kept in wine.crashes.log.
get_filename_component(ZT_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine_run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZT_WINE_RUN};--again-if-wine-fails;${CMAKE_BINARY_DIR}/wine")
