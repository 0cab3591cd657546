# The helper's portable text handling, built into orlixinst and natively
# into its tests.
set(ORLIX_INSTALLER_HELPER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/servers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clamdb.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vdb_lines.cpp)
