# The installer helper's text handling on this machine, with the sanitizers
# (included by native/CMakeLists.txt after the clamd core).
include(${ORLIX_ROOT}/cmake/embed_text.cmake)
orlix_embed_text(${ORLIX_ROOT}/engines/clamd/clamd.vdb ${CMAKE_CURRENT_BINARY_DIR}/installer-helper/default_clamd_vdb.h
  orlixinst kDefaultClamdVdb)
include(${ORLIX_ROOT}/installer/helper/sources.cmake)
add_executable(test_installer_helper ${ORLIX_ROOT}/tests/installer/servers_test.cpp ${ORLIX_ROOT}/tests/installer/clamdb_test.cpp
  ${ORLIX_INSTALLER_HELPER_SOURCES})
target_include_directories(test_installer_helper PRIVATE ${ORLIX_ROOT}/installer/helper
  ${CMAKE_CURRENT_BINARY_DIR}/installer-helper)
target_compile_definitions(test_installer_helper PRIVATE ORLIX_ROOT="${ORLIX_ROOT}")
target_link_libraries(test_installer_helper PRIVATE clamd_core GTest::gtest_main)
add_test(NAME test_installer_helper COMMAND test_installer_helper)
