# The engine's portable core: everything but the DLL's entry points. The DLL
# and the native test tier build the same list.
set(REFENGINE_CORE_SOURCES
  engine_state.cpp
  archive_format.cpp
  check_budget.cpp
  database.cpp
  gzip_reader.cpp
  gzip_records.cpp
  host_io.cpp
  md5.cpp
  member_sink.cpp
  signature.cpp
  signature_watch.cpp
  stream_scanner.cpp
  tar_reader.cpp
  tar_records.cpp
  unpack.cpp
  wide_filter.cpp
  zip_directory.cpp
  zip_reader.cpp
  zip_records.cpp)
list(TRANSFORM REFENGINE_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
