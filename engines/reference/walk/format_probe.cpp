#include "format_probe.h"

#include <algorithm>
#include <cstring>

#include "formats/compressed/compressed_reader.h"
#include "formats/gzip/gzip_reader.h"
#include "formats/mime/mime_reader.h"
#include "formats/mime/text_blocks.h"
#include "formats/ole2/ole2_reader.h"
#include "formats/sevenzip/sevenzip_reader.h"
#include "formats/tar/tar_reader.h"
#include "formats/tnef/tnef_reader.h"
#include "formats/zip/zip_reader.h"

namespace refengine {
namespace {

// Every format the walk opens, in the order their heads are tried: a new
// format is one line here.
const ArchiveFormat* const kFormats[] = {
    &kZipFormat,
    &kGzipFormat,
    &kBzip2Format,
    &kXzFormat,
    &kTarFormat,
    &kSevenZipFormat,
    &kTnefFormat,
    &kOle2Format,
    &kMimeFormat,
    &kUuFormat,
    &kBinHexFormat,
    // Told by a plausible header, not a magic: after every format that has one.
    &kLzmaFormat,
};

}  // namespace

const ArchiveFormat* FormatOfHead(const unsigned char* head, size_t count) {
    for (const ArchiveFormat* format : kFormats) {
        if (format->looksLike(head, count)) return format;
    }
    return nullptr;
}

FormatProbe::FormatProbe() {
    for (const ArchiveFormat* format : kFormats) {
        if (format->endMarker) trailing_.push_back({format, MarkerFinder(format->endMarker), false});
    }
}

void FormatProbe::Feed(const unsigned char* bytes, uint32_t count) {
    uint32_t used = std::min(count, kFormatHeadBytes - headLength_);
    std::memcpy(head_ + headLength_, bytes, used);
    headLength_ += used;
    for (Trailing& t : trailing_) {
        if (!t.seen) t.seen = t.finder.Feed(bytes, count) != 0;
    }
}

bool FormatProbe::keepWhole() const {
    bool executable = headLength_ >= 2 && head_[0] == 'M' && head_[1] == 'Z';
    return executable || headFormat() != nullptr;
}

ProbedFormats FormatProbe::Settle(Host& host, ByteSource& whole) const {
    ProbedFormats probed;
    probed.format = headFormat();
    for (const Trailing& t : trailing_) {
        if (t.format == probed.format || (!t.seen && !markersUnknown_)) continue;
        if (!t.format->endsIn(host, whole)) continue;
        if (probed.format)
            probed.behind = t.format;
        else
            probed.format = t.format;
        break;
    }
    return probed;
}

}  // namespace refengine
