# The engine's portable core: everything but the DLL's entry points. The DLL
# and the native test tier build the same list.
set(REFENGINE_CORE_SOURCES
  engine_state.cpp
  database.cpp
  host_io.cpp
  md5.cpp
  signature.cpp
  stream_scanner.cpp
  wide_filter.cpp
  zip_reader.cpp)
list(TRANSFORM REFENGINE_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
