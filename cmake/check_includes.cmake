cmake_minimum_required(VERSION 3.25)
# Refuses an include of the plug-in's own folders (src/) from code that may
# reach only the public headers in include/:
#   cmake -DFILES=<files> -DFORBIDDEN=<folders> -DSTAMP=<file> -P check_includes.cmake
set(failed "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z_]+)/.*" "\\1" folder "${line}")
    if(folder IN_LIST FORBIDDEN)
      string(APPEND failed "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "only the plug-in and its own unit tests include src/; include/orlix holds the contract:${failed}")
endif()
file(WRITE "${STAMP}" "")
