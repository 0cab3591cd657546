# The LZMA family of the codec layer: LZMA, LZMA2, .lzma and .xz, and the
# filters .xz and 7z chain in front of them. Built for the DLL and natively.
set(REFENGINE_LZMA_SOURCES
  lzma/lz_window.cpp
  lzma/lzma_models.cpp
  lzma/lzma_properties.cpp
  lzma/lzma_decoder.cpp
  lzma/lzma2_decoder.cpp
  lzma/lzma_alone_decoder.cpp
  filters/bcj_x86.cpp
  filters/delta_filter.cpp
  xz/crc64.cpp
  xz/sha256.cpp
  xz/xz_check.cpp
  xz/xz_records.cpp
  xz/xz_index.cpp
  xz/xz_block.cpp
  xz/xz_decoder.cpp)
list(TRANSFORM REFENGINE_LZMA_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
