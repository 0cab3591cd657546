#include "archive_format.h"

#include "gzip_records.h"
#include "tar_records.h"
#include "zip_directory.h"

namespace refengine {

ArchiveFormat DetectArchiveHead(const unsigned char* head, size_t count) {
    if (LooksLikeZip(head, count)) return ArchiveFormat::Zip;
    if (LooksLikeGzip(head, count)) return ArchiveFormat::Gzip;
    if (LooksLikeTar(head, count)) return ArchiveFormat::Tar;
    return ArchiveFormat::None;
}

const char* ArchiverName(ArchiveFormat format) {
    switch (format) {
        case ArchiveFormat::Gzip:
            return "GZIP";
        case ArchiveFormat::Tar:
            return "TAR";
        default:
            return "ZIP";
    }
}

}  // namespace refengine
