# The reference engine's layers, each a folder, lowest first: the folders a
# layer may include, and its sources. The DLL builds one library per layer
# and refuses an include of a layer above; the native tier builds the same
# lists into one library.
set(REFENGINE_LAYERS host digest codecs detect match formats walk clamdb)
set(REFENGINE_host_ALLOWED host)
set(REFENGINE_host_SOURCES host/callback_host.cpp host/host_io.cpp)
set(REFENGINE_digest_ALLOWED digest)
set(REFENGINE_digest_SOURCES digest/md5.cpp digest/sha.cpp)
set(REFENGINE_codecs_ALLOWED codecs digest)
set(REFENGINE_codecs_SOURCES codecs/huffman_code.cpp
  codecs/bzip2/bzip2_block.cpp codecs/bzip2/bzip2_decoder.cpp codecs/bzip2/bzip2_symbols.cpp codecs/bzip2/bzip2_tables.cpp
  codecs/inflate/inflate_codes.cpp codecs/inflate/inflate_decoder.cpp codecs/inflate/inflate_window.cpp
  codecs/lzma/lz_window.cpp codecs/lzma/lzma_models.cpp codecs/lzma/lzma_properties.cpp codecs/lzma/lzma_decoder.cpp
  codecs/lzma/lzma2_decoder.cpp codecs/lzma/lzma_alone_decoder.cpp
  codecs/filters/bcj_x86.cpp codecs/filters/delta_filter.cpp
  codecs/xz/crc64.cpp codecs/xz/xz_check.cpp codecs/xz/xz_records.cpp codecs/xz/xz_index.cpp
  codecs/xz/xz_block.cpp codecs/xz/xz_decoder.cpp)
set(REFENGINE_detect_ALLOWED detect)
set(REFENGINE_detect_SOURCES "")
set(REFENGINE_match_ALLOWED match detect digest)
set(REFENGINE_match_SOURCES match/database.cpp match/signature_detector.cpp match/stream_scanner.cpp
  match/virus_record.cpp match/wide_filter.cpp match/wide_sse2.cpp match/wide_ssse3.cpp match/wide_avx2.cpp match/hash_store.cpp match/clam_records.cpp
  match/object_type.cpp match/pe_layout.cpp)
set(REFENGINE_formats_ALLOWED formats codecs digest host)
set(REFENGINE_formats_SOURCES formats/check_budget.cpp formats/marker_finder.cpp formats/unpack.cpp
  formats/single_member.cpp
  formats/binhex/binhex_reader.cpp formats/binhex/binhex_records.cpp
  formats/compressed/bzip2_format.cpp formats/compressed/compressed_reader.cpp
  formats/compressed/compressed_records.cpp formats/compressed/lzma_format.cpp formats/compressed/xz_format.cpp
  formats/gzip/gzip_reader.cpp formats/gzip/gzip_records.cpp
  formats/mapi/mapi_names.cpp
  formats/ole2/ole2_file.cpp formats/ole2/ole2_reader.cpp formats/ole2/ole2_records.cpp
  formats/sevenzip/sevenzip_coders.cpp formats/sevenzip/sevenzip_folder.cpp formats/sevenzip/sevenzip_reader.cpp
  formats/sevenzip/sevenzip_records.cpp
  formats/tar/tar_reader.cpp formats/tar/tar_records.cpp
  formats/tnef/tnef_reader.cpp formats/tnef/tnef_records.cpp
  formats/mime/mail_text.cpp formats/mime/mime_head.cpp formats/mime/mime_reader.cpp formats/mime/mime_records.cpp
  formats/mime/mime_structure.cpp formats/mime/text_blocks.cpp formats/mime/transfer_decoding.cpp
  formats/uuencode/uu_reader.cpp formats/uuencode/uu_records.cpp
  formats/zip/zip_directory.cpp formats/zip/zip_reader.cpp formats/zip/zip_records.cpp)
set(REFENGINE_walk_ALLOWED walk formats codecs digest detect host)
set(REFENGINE_walk_SOURCES walk/format_probe.cpp walk/member_check.cpp walk/object_walk.cpp)
set(REFENGINE_clamdb_ALLOWED clamdb match formats codecs digest detect host)
set(REFENGINE_clamdb_SOURCES clamdb/clam_loader.cpp clamdb/container_records.cpp clamdb/tar_stream.cpp)
# The native tier builds the digests and the codecs as a library of their
# own, which the codecs' tests link without the rest of the engine.
set(REFENGINE_CODEC_SOURCES ${REFENGINE_digest_SOURCES} ${REFENGINE_codecs_SOURCES})
list(TRANSFORM REFENGINE_CODEC_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
# The engine object on top of every layer, and the DLL's doors.
set(REFENGINE_TOP_SOURCES reference_engine.cpp)
set(REFENGINE_ENTRY_SOURCE ${CMAKE_CURRENT_LIST_DIR}/entry.cpp)

set(REFENGINE_CORE_SOURCES "")
foreach(layer IN LISTS REFENGINE_LAYERS)
  list(TRANSFORM REFENGINE_${layer}_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  if(NOT layer MATCHES "^(digest|codecs)$")
    list(APPEND REFENGINE_CORE_SOURCES ${REFENGINE_${layer}_SOURCES})
  endif()
endforeach()
list(TRANSFORM REFENGINE_TOP_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(APPEND REFENGINE_CORE_SOURCES ${REFENGINE_TOP_SOURCES})
set(REFENGINE_INCLUDES ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../common)
