# orlix_engine_dll(<target> OUTPUT_DIR <folder>)
# Makes a shared library an engine as the plug-in loads it: orlix32.dll, with
# undecorated exports, in a folder of its own (every engine has the same file
# name, so two never share a folder).
function(orlix_engine_dll target)
  cmake_parse_arguments(ENGINE "" "OUTPUT_DIR" "" ${ARGN})
  if(NOT ENGINE_OUTPUT_DIR)
    message(FATAL_ERROR "orlix_engine_dll(${target}): OUTPUT_DIR is required")
  endif()
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "orlix32" SUFFIX ".dll"
    RUNTIME_OUTPUT_DIRECTORY ${ENGINE_OUTPUT_DIR})
  target_link_options(${target} PRIVATE -Wl,--kill-at)
endfunction()
