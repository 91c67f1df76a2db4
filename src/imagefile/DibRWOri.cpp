// The image readers and writers: the dispatcher every image owns, the
// platform codecs and the libjpeg reader/writer with its memory readers.
#include <vector>

#include "image/BitPixels.h"
#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"
#include "imagefile/PdfCodec.h"

using imagefile::DecodeLimits;
using imagefile::ImageFormat;

// ---------------------------------------------------------------- base

int CDibReaderWriter::LoadThumbnail(CDib&, const std::u16string&, int32_t, int32_t) { return 0; }
int CDibReaderWriter::GetFrameCount(const std::u16string&) { return 0; }

// ---------------------------------------------------------------- CDibRWOri

int CDibRWOri::LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) {
    return CDibRWGeneral().LoadFromMemory(image, buffer, length, kind);
}

int CDibRWOri::Save(const CDib& image, const std::u16string& path, uint32_t saveOption) {
    if (!image.HasPixels()) return 0;
    if (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24) return -1;
    return CDibRWCodecs::Save(image, path, saveOption) == 1 ? 1 : 0;
}

// ---------------------------------------------------------------- CDibRWCodecs

int CDibRWCodecs::Probe(const std::u16string&) { return 1; }

int CDibRWCodecs::LoadFromMemory(CDib&, const uint8_t*, int32_t, int32_t) { return 0; }

int CDibRWCodecs::Load(CDib& image, const std::u16string& path, int32_t) {
    image.Free();
    std::vector<uint8_t> data;
    if (!imagefile::ReadImageFileBytes(path, data)) return 0;
    DecodeLimits limits;
    limits.options = decodeOptions;
    return imagefile::DecodeEncodedPage(data.data(), data.size(), 0, image, limits) ? 1 : 0;
}

int CDibRWCodecs::Save(const CDib& image, const std::u16string& path, uint32_t saveOption) {
    if (!image.HasPixels()) return 0;
    const int bpp = image.bitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24) return 0;
    // A JPEG quality asks for JPEG whatever the suffix (bilevel pages excepted).
    const imagefile::Codec* codec = (saveOption >> 24) == kSaveOptionJpegQuality && bpp != 1
                                        ? imagefile::CodecByFormat(ImageFormat::Jpeg)
                                        : imagefile::CodecForWriting(path);
    if (!codec || !codec->encode) return 0;  // no writer for this suffix: nothing is written
    std::vector<uint8_t> data;
    return codec->encode(image, saveOption, data) && imagefile::WriteWholeFile(path, data) ? 1 : 0;
}

namespace {

// The first page at full size, whatever working resolution the reader/writer
// decodes its pages at: what the size and thumbnail slots describe.
bool LoadFullSize(CDib& image, const std::u16string& path) {
    image.Free();
    std::vector<uint8_t> data;
    if (!imagefile::ReadImageFileBytes(path, data)) return false;
    return imagefile::DecodeEncodedPage(data.data(), data.size(), 0, image, DecodeLimits());
}

}  // namespace

int CDibRWCodecs::GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                          int32_t& xResolution, int32_t& yResolution) {
    CDib image;
    if (!LoadFullSize(image, path)) return 0;
    width = image.width;
    height = image.height;
    bitCount = image.bitCount;
    xResolution = image.xResolution;
    yResolution = image.yResolution;
    return 1;
}

int CDibRWCodecs::LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth,
                                int32_t maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0) return 0;
    CDib full;
    if (!LoadFullSize(full, path) || full.width <= 0 || full.height <= 0) return 0;
    const int64_t w = full.width, h = full.height;
    int64_t tw, th;
    if (int64_t(maxHeight) * w < int64_t(maxWidth) * h) {
        tw = w * maxHeight / h;
        th = maxHeight;
    } else {
        tw = maxWidth;
        th = h * maxWidth / w;
    }
    if (tw < 1) tw = 1;
    if (th < 1) th = 1;
    // The thumbnail keeps whatever resolution the image had.
    const int32_t xr = image.xResolution, yr = image.yResolution;
    if (!image.Create(static_cast<int32_t>(tw), static_cast<int32_t>(th), full.bitCount, xr)) return 0;
    image.xResolution = xr;
    image.yResolution = yr;
    for (int64_t y = 0; y < th; ++y) {
        const uint8_t* src = full.Row(y * h / th);
        uint8_t* dst = image.Row(y);
        for (int64_t x = 0; x < tw; ++x) {
            const int64_t sx = x * w / tw;
            if (full.bitCount == 1) {
                if (bitpixels::Get(src, sx)) bitpixels::Set(dst, x);
            } else if (full.bitCount == 8) {
                dst[x] = src[sx];
            } else {
                dst[3 * x] = src[3 * sx];
                dst[3 * x + 1] = src[3 * sx + 1];
                dst[3 * x + 2] = src[3 * sx + 2];
            }
        }
    }
    return 1;
}

int CDibRWCodecs::GetFrameCount(const std::u16string& path) {
    std::vector<uint8_t> data;
    if (!imagefile::ReadImageFileBytes(path, data)) return 0;
    return imagefile::CountEncodedFrames(data.data(), data.size());
}

int CDibRWCodecs::FromBitmapHandle(CDib&, void*, void*) { return 0; }

// ---------------------------------------------------------------- CDibRWGeneral

int CDibRWGeneral::Probe(const std::u16string&) { return 1; }

int CDibRWGeneral::LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) {
    image.Free();
    if (!buffer || length <= 0) return 0;
    const size_t n = static_cast<size_t>(length);
    switch (kind) {
        case 0:
            return imagefile::DecodeJpeg(buffer, n, image, imagefile::JpegDensity::AsStored, false) ? 1 : 0;
        case 1:
            return imagefile::DecodeBmp(buffer, n, image) ? 1 : 0;
        case 2:
            return imagefile::DecodeJ2k(buffer, n, image) ? 1 : 0;
        default:
            return 0;
    }
}

int CDibRWGeneral::Load(CDib& image, const std::u16string& path, int32_t flag) {
    image.Free();
    if (flag != 0) return 0;
    std::vector<uint8_t> data;
    if (!imagefile::ReadImageFileBytes(path, data)) return 0;
    DecodeLimits limits;
    limits.options = decodeOptions;
    return imagefile::DecodeJpeg(data.data(), data.size(), image, imagefile::JpegDensity::AsStored, false,
                                 limits)
               ? 1
               : 0;
}

int CDibRWGeneral::Save(const CDib& image, const std::u16string& path, uint32_t flag) {
    if (flag != 0 || !image.HasPixels() || image.bitCount != 24) return 0;
    std::vector<uint8_t> data;
    if (!imagefile::EncodeJpeg(image, 80, true, data)) return 0;
    return imagefile::WriteWholeFile(path, data) ? 1 : 0;
}

int CDibRWGeneral::GetInfo(const std::u16string&, int32_t&, int32_t&, int32_t&, int32_t&, int32_t&) {
    return 1;
}
int CDibRWGeneral::LoadThumbnail(CDib&, const std::u16string&, int32_t, int32_t) { return 1; }
int CDibRWGeneral::GetFrameCount(const std::u16string&) { return 0; }
