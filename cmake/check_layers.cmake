cmake_minimum_required(VERSION 3.25)
# Refuses an include of a folder above the including one. Run by the build
# for every layer library of the plug-in (src/) and of the reference engine:
#   cmake -DFOLDER=<folder> -DALLOWED=<folders> -DFILES=<files> -DSTAMP=<file> -P check_layers.cmake
set(failed "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z_]+)/.*" "\\1" folder "${line}")
    # include/ is below every layer.
    if(NOT folder IN_LIST ALLOWED AND NOT folder MATCHES "^(orlix|win32)$")
      string(APPEND failed "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "${FOLDER}/ may include only ${ALLOWED}; it includes a folder above it:${failed}")
endif()
file(WRITE "${STAMP}" "")
