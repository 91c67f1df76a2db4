// Image file readers and writers. CDibRWCodecs reads every format of the
// codec table (imagefile/CodecTable.h), recognised by the file's first bytes
// whatever its name, and writes by suffix; CDibRWOri is that reader/writer
// with the memory readers and the bit-count answer of Save. CDibRWGeneral
// is the plain libjpeg reader/writer with the memory readers. Results: 1
// success, 0 failure (Save: -1 for an unsupported bit count).
#pragma once
#include <cstdint>
#include <string>

class CRawImage;
class CDib;
namespace imagefile {
struct DecodeOptions;
}

class CDibReaderWriter {
public:
    virtual ~CDibReaderWriter() = default;
    // Working resolution and decoder threads for the pages Load reads (the
    // decoder records there the scale it applied); null: full size.
    imagefile::DecodeOptions* decodeOptions = nullptr;
    virtual int Probe(const std::u16string& path) = 0;
    virtual int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) = 0;
    virtual int Load(CDib& image, const std::u16string& path, int32_t flag) = 0;
    virtual int Save(const CDib& image, const std::u16string& path, uint32_t saveOption) = 0;
    virtual int GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                        int32_t& xResolution, int32_t& yResolution) = 0;
    virtual int LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth, int32_t maxHeight);
    virtual int GetFrameCount(const std::u16string& path);
};

// saveOption: high byte a kind, low byte a value.
//   kind 1: TIFF compression (3 CCITT group 4 and 9 CCITT group 3 for 1-bit
//           pages, 2 LZW for 8-bit and 24-bit pages)
//   kind 2: JPEG quality; 8-bit and 24-bit pages are then written as JPEG
//           whatever the suffix
constexpr uint32_t kSaveOptionCompression = 1;
constexpr uint32_t kSaveOptionJpegQuality = 2;
constexpr uint32_t MakeSaveOption(uint32_t kind, uint32_t value) { return (kind << 24) | (value & 0xFF); }

// The platform's common image codecs: BMP, TIFF, PNG, GIF and JPEG through
// libtiff, libpng, giflib, libjpeg and a built-in BMP codec.
class CDibRWCodecs : public CDibReaderWriter {
public:
    // Always 1.
    int Probe(const std::u16string& path) override;
    // Always 0 (memory reading belongs to CDibRWGeneral).
    int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) override;
    // Decodes the first page of the file, recognised by its content.
    int Load(CDib& image, const std::u16string& path, int32_t flag) override;
    // Writes by suffix (jpg/jpeg, tif/tiff, bmp, gif, png, j2k); 1 written, 0 not.
    int Save(const CDib& image, const std::u16string& path, uint32_t saveOption) override;
    int GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                int32_t& xResolution, int32_t& yResolution) override;
    int LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth, int32_t maxHeight) override;
    int GetFrameCount(const std::u16string& path) override;
    // Windows bitmap handles do not exist on this platform: always 0.
    virtual int FromBitmapHandle(CDib& image, void* bitmap, void* palette);
};

// The reader/writer each image owns: the codec table's (every slot but the
// two below inherited).
class CDibRWOri : public CDibRWCodecs {
public:
    // The memory readers of CDibRWGeneral.
    int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) override;
    // 1 written, 0 nothing written (no pixels, no writer for the suffix, or
    // the write failed), -1 bit count other than 1, 8 or 24.
    int Save(const CDib& image, const std::u16string& path, uint32_t saveOption) override;
};

// libjpeg reader/writer and the memory readers.
class CDibRWGeneral : public CDibReaderWriter {
public:
    int Probe(const std::u16string& path) override;  // 1
    // kind 0: JPEG file in memory; 1: BMP file in memory; 2: JPEG-2000 codestream.
    int LoadFromMemory(CDib& image, const uint8_t* buffer, int32_t length, int32_t kind) override;
    // JPEG only; the JFIF density is taken as stored. 0 when flag is non-zero.
    int Load(CDib& image, const std::u16string& path, int32_t flag) override;
    // Baseline JPEG at quality 80, 24-bit images only. 0 when flag is non-zero.
    int Save(const CDib& image, const std::u16string& path, uint32_t flag) override;
    int GetInfo(const std::u16string& path, int32_t& width, int32_t& height, int32_t& bitCount,
                int32_t& xResolution, int32_t& yResolution) override;  // 1, nothing reported
    int LoadThumbnail(CDib& image, const std::u16string& path, int32_t maxWidth,
                      int32_t maxHeight) override;           // 1
    int GetFrameCount(const std::u16string& path) override;  // 0
};
