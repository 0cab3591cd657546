# The stream decoders below the archive formats, portable C++ with no
# library of their own. The DLL and the native test tier build the same list.
set(REFENGINE_CODEC_SOURCES
  huffman_code.cpp
  bzip2/bzip2_block.cpp
  bzip2/bzip2_decoder.cpp
  bzip2/bzip2_symbols.cpp
  bzip2/bzip2_tables.cpp
  inflate/inflate_codes.cpp
  inflate/inflate_decoder.cpp
  inflate/inflate_window.cpp)
list(TRANSFORM REFENGINE_CODEC_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
