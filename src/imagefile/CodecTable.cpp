#include "imagefile/CodecTable.h"

#include <cstdio>
#include <cstring>

#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/PdfCodec.h"

namespace imagefile {
namespace {

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool IsBmp(const uint8_t* d, size_t n) { return n >= 2 && d[0] == 'B' && d[1] == 'M'; }
bool IsTiff(const uint8_t* d, size_t n) {
    return n >= 4 && ((d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0) ||
                      (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43)));
}
bool IsPng(const uint8_t* d, size_t n) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return n >= 8 && std::memcmp(d, kPng, 8) == 0;
}
bool IsGif(const uint8_t* d, size_t n) {
    return n >= 6 && std::memcmp(d, "GIF8", 4) == 0 && (d[4] == '7' || d[4] == '9') && d[5] == 'a';
}
bool IsJpeg(const uint8_t* d, size_t n) { return n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }
bool IsJ2k(const uint8_t* d, size_t n) {
    return n >= 4 && d[0] == 0xFF && d[1] == 0x4F && d[2] == 0xFF && d[3] == 0x51;
}
// The JP2 signature box: length 12, type "jP  ", content 0D 0A 87 0A.
bool IsJp2(const uint8_t* d, size_t n) {
    static const uint8_t kJp2[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    return n >= 12 && std::memcmp(d, kJp2, 12) == 0;
}

bool OnlyFirstPage(int page) {
    if (page == 0) return true;
    return FailIfNoCause("page " + std::to_string(page + 1) + " asked of a single-page file");
}

bool ReadBmp(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return OnlyFirstPage(page) && DecodeBmp(d, n, image, limits);
}
bool ReadPng(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return OnlyFirstPage(page) && DecodePng(d, n, image, limits);
}
bool ReadGif(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return OnlyFirstPage(page) && DecodeGif(d, n, image, limits);
}
// Every JPEG is read alike, whatever its name: the density unit is honoured
// and CMYK or YCCK pages are converted to colour.
bool ReadJpeg(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return OnlyFirstPage(page) && DecodeJpeg(d, n, image, JpegDensity::DotsPerInch, true, limits);
}
bool ReadJ2k(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return OnlyFirstPage(page) && DecodeJ2k(d, n, image, limits);
}
bool ReadTiff(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    return DecodeTiffPage(d, n, page, image, limits);
}

// A JP2 file is a sequence of boxes; the page is the codestream in its
// "jp2c" box, read like a bare codestream.
bool ReadJp2(const uint8_t* d, size_t n, int page, CDib& image, const DecodeLimits& limits) {
    if (!OnlyFirstPage(page)) return false;
    size_t pos = 0;
    while (pos + 8 <= n) {
        uint64_t length = Be32(d + pos);
        const uint32_t type = Be32(d + pos + 4);
        size_t header = 8;
        if (length == 1) {
            if (pos + 16 > n) break;
            length = (uint64_t(Be32(d + pos + 8)) << 32) | Be32(d + pos + 12);
            header = 16;
        } else if (length == 0) {
            length = n - pos;  // the last box runs to the end of the file
        }
        if (length < header || length > n - pos) break;
        if (type == 0x6A703263u)  // "jp2c"
            return DecodeJ2k(d + pos + header, static_cast<size_t>(length - header), image, limits);
        pos += static_cast<size_t>(length);
    }
    return FailIfNoCause("truncated or corrupt JP2 data: no complete codestream box");
}

bool WriteJpeg(const CDib& image, uint32_t option, std::vector<uint8_t>& out) {
    const bool quality = (option >> 24) == kSaveOptionJpegQuality;
    return EncodeJpeg(image, quality ? static_cast<int>(option & 0xFF) : 75, false, out);
}
bool WriteTiff(const CDib& image, uint32_t option, std::vector<uint8_t>& out) {
    TiffCompression c = TiffCompression::None;
    const uint32_t kind = option >> 24, value = option & 0xFF;
    if (kind == kSaveOptionCompression) {
        if (image.bitCount == 1 && value == 3) c = TiffCompression::CcittG4;
        if (image.bitCount == 1 && value == 9) c = TiffCompression::CcittG3;
        if (image.bitCount != 1 && value == 2) c = TiffCompression::Lzw;
    }
    return EncodeTiff(image, c, out);
}
bool WriteBmp(const CDib& image, uint32_t, std::vector<uint8_t>& out) { return EncodeBmp(image, out); }
bool WriteGif(const CDib& image, uint32_t, std::vector<uint8_t>& out) { return EncodeGif(image, out); }
bool WritePng(const CDib& image, uint32_t, std::vector<uint8_t>& out) { return EncodePng(image, out); }
bool WriteJ2k(const CDib& image, uint32_t, std::vector<uint8_t>& out) { return EncodeJ2k(image, out); }

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SuffixListed(const char* list, const std::string& ext) {
    const char* p = list;
    while (*p) {
        const char* end = std::strchr(p, ' ');
        const size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (len == ext.size() && std::memcmp(p, ext.data(), len) == 0) return true;
        if (!end) break;
        p = end + 1;
    }
    return false;
}

}  // namespace

const std::vector<Codec>& Codecs() {
    static const std::vector<Codec> table = {
        {ImageFormat::Jpeg, "JPEG", IsJpeg, ReadJpeg, nullptr, WriteJpeg, "jpg jpeg jpe jfif"},
        {ImageFormat::J2k, "JPEG-2000 codestream", IsJ2k, ReadJ2k, nullptr, WriteJ2k, "j2k j2c"},
        {ImageFormat::Jp2, "JP2", IsJp2, ReadJp2, nullptr, nullptr, "jp2"},
        {ImageFormat::Png, "PNG", IsPng, ReadPng, nullptr, WritePng, "png"},
        {ImageFormat::Tiff, "TIFF", IsTiff, ReadTiff, CountFramesTiff, WriteTiff, "tif tiff"},
        {ImageFormat::Bmp, "BMP", IsBmp, ReadBmp, nullptr, WriteBmp, "bmp dib"},
        {ImageFormat::Gif, "GIF", IsGif, ReadGif, nullptr, WriteGif, "gif", CountFramesGif},
        {ImageFormat::Pdf, "PDF", IsPdf, DecodePdfPage, CountPagesPdf, nullptr, "pdf"},
    };
    return table;
}

const Codec* CodecBySignature(const uint8_t* data, size_t size) {
    if (!data) return nullptr;
    for (const Codec& c : Codecs())
        if (c.matches(data, size)) return &c;
    return nullptr;
}

const Codec* CodecByFormat(ImageFormat format) {
    for (const Codec& c : Codecs())
        if (c.format == format) return &c;
    return nullptr;
}

const Codec* CodecForWriting(const std::u16string& path) {
    const size_t dot = path.find_last_of(u'.');
    const size_t slash = path.find_last_of(u"/\\");
    if (dot == std::u16string::npos || (slash != std::u16string::npos && slash > dot)) return nullptr;
    std::string ext;
    for (size_t i = dot + 1; i < path.size(); ++i) {
        const char16_t c = Lower(path[i]);
        if (c > 127) return nullptr;
        ext.push_back(static_cast<char>(c));
    }
    if (ext.empty()) return nullptr;
    for (const Codec& c : Codecs())
        if (c.encode && SuffixListed(c.suffixes, ext)) return &c;
    return nullptr;
}

std::string SignatureText(const uint8_t* data, size_t size) {
    std::string text;
    char hex[4];
    for (size_t i = 0; i < size && i < 8; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", data[i]);
        if (!text.empty()) text += ' ';
        text += hex;
    }
    return text.empty() ? "none" : text;
}

int CountEncodedPages(const uint8_t* data, size_t size) {
    ClearReadFailure();
    if (!data || size == 0) {
        SetReadFailure("empty file");
        return 0;
    }
    const Codec* codec = CodecBySignature(data, size);
    if (!codec) {
        SetReadFailure("unknown format by signature (first bytes " + SignatureText(data, size) + ")");
        return 0;
    }
    if (!codec->countPages) return 1;
    const int pages = codec->countPages(data, size);
    if (pages <= 0) {
        FailIfNoCause(std::string("truncated or corrupt ") + codec->name + " data: no readable page");
        return 0;
    }
    return pages > kMaxFilePages ? kMaxFilePages : pages;
}

int CountEncodedFrames(const uint8_t* data, size_t size) {
    if (const Codec* codec = CodecBySignature(data, size)) {
        if (codec->countFrames) return codec->countFrames(data, size);
        if (codec->countPages) return codec->countPages(data, size);
    }
    CDib probe;
    return DecodeEncodedPage(data, size, 0, probe, DecodeLimits()) ? 1 : 0;
}

bool DecodeAny(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    return DecodeEncodedPage(data, size, 0, image, limits);
}

int CountFrames(const uint8_t* data, size_t size) { return CountEncodedFrames(data, size); }

bool DecodeEncodedPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits) {
    image.Free();
    ClearReadFailure();
    if (!data || size == 0) {
        SetReadFailure("empty file");
        return false;
    }
    const Codec* codec = CodecBySignature(data, size);
    if (!codec) {
        SetReadFailure("unknown format by signature (first bytes " + SignatureText(data, size) + ")");
        return false;
    }
    if (page < 0 || page >= kMaxFilePages) {
        SetReadFailure("page " + std::to_string(page + 1) + " out of range");
        return false;
    }
    bool ok = false;
    try {
        ok = codec->decode(data, size, page, image, limits) && image.HasPixels();
    } catch (const std::bad_alloc&) {
        SetReadFailure("not enough memory to decode the page");
        ok = false;
    }
    if (!ok) {
        image.Free();
        FailIfNoCause(std::string("truncated or corrupt ") + codec->name + " data");
    }
    return ok;
}

}  // namespace imagefile
