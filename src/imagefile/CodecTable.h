// The one table of image codecs. Each entry is recognised by the signature
// in a file's first bytes (never by its name), decodes any page of such a
// file and, where the format can be written, encodes a page. File suffixes
// only choose the entry a page is written with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/ImageCodecs.h"

class CDib;

namespace imagefile {

// Bytes a reader must have to recognise every signature in the table.
constexpr size_t kSignatureBytes = 12;
// Pages counted in one file at most (a multi-page TIFF); further pages are
// not read.
constexpr int kMaxFilePages = 10000;

struct Codec {
    ImageFormat format;
    const char* name;  // "JPEG", "PNG", ... as used in failure causes
    bool (*matches)(const uint8_t* data, size_t size);
    // Decodes page `page` (0 first) of a file held in memory.
    bool (*decode)(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits);
    // Pages in the file; null: always one page.
    int (*countPages)(const uint8_t* data, size_t size);
    // Writes a page (saveOption as MakeSaveOption in imagefile/DibReaderWriter.h);
    // null: the format is read only.
    bool (*encode)(const CDib& image, uint32_t saveOption, std::vector<uint8_t>& out);
    // Lowercase suffixes, space separated, that choose this entry for writing.
    const char* suffixes;
    // Frames the reader/writer's frame count reports, where they differ from
    // the readable pages (a GIF's images); null: the pages.
    int (*countFrames)(const uint8_t* data, size_t size) = nullptr;
};

const std::vector<Codec>& Codecs();
// The entry whose signature the bytes carry; null when none does.
const Codec* CodecBySignature(const uint8_t* data, size_t size);
const Codec* CodecByFormat(ImageFormat format);
// The entry a file of that path is written with, by its suffix; null when
// no entry claims the suffix.
const Codec* CodecForWriting(const std::u16string& path);
// The first bytes as hex ("89 50 4e 47 ..."), for failure causes.
std::string SignatureText(const uint8_t* data, size_t size);

// Pages of an encoded file in memory: the count (0 with a cause in
// LastReadFailure when the file is not readable).
int CountEncodedPages(const uint8_t* data, size_t size);
// Frames of an encoded file in memory (CountFrames in imagefile/ImageCodecs.h),
// by its entry's frame or page count; 1 for a single-page format that
// decodes, 0 when unreadable.
int CountEncodedFrames(const uint8_t* data, size_t size);
// Decodes page `page` of an encoded file in memory; on failure the image is
// empty and LastReadFailure tells why.
bool DecodeEncodedPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits);

}  // namespace imagefile
