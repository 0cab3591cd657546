// The encoded files a text may hold anywhere (uuencode, BinHex 4.0), as one
// reader: what a text file, a mail's text part and an mbox message share.
#pragma once

#include <cstddef>
#include <memory>

#include "formats/archive_reader.h"

namespace refengine {

// Every uuencoded block of the text, then every BinHex block.
std::unique_ptr<ArchiveReader> OpenTextBlocks(Host& host, std::shared_ptr<ByteSource> text);

// Whether an object holds a block that looksLike finds, past its head. An
// object whose head is a mail or a block already walks all its blocks.
bool HoldsTextBlock(Host& host, ByteSource& source, bool (*looksLike)(const unsigned char*, size_t));

// uuencoded and BinHex files as the walk's formats: a text with such a
// block at its head, or with its marker anywhere, walks all its blocks.
extern const ArchiveFormat kUuFormat;
extern const ArchiveFormat kBinHexFormat;

}  // namespace refengine
