# Runs at install time (install(CODE) in CMakeLists.txt): writes the desktop entry, whose Path= is the data
# folder under the prefix of this installation, which `cmake --install --prefix` and CPack choose after
# configuring. Expects ZT_DESKTOP_TEMPLATE, ZT_DESKTOP_DIR and ZT_DATA_DIR (relative to the prefix or absolute).
foreach(dir ZT_DESKTOP_DIR ZT_DATA_DIR)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()
set(ZT_DATA_PATH "${ZT_DATA_DIR}")
get_filename_component(entry_name "${ZT_DESKTOP_TEMPLATE}" NAME_WLE)
set(entry "$ENV{DESTDIR}${ZT_DESKTOP_DIR}/${entry_name}")
message(STATUS "Installing: ${entry}")
configure_file("${ZT_DESKTOP_TEMPLATE}" "${entry}" @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
