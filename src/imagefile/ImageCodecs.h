// Format codecs behind the image readers and writers. Every decoder works on
// bytes held in memory and treats them as hostile: sizes are checked before
// anything is allocated, corrupt or truncated data fails cleanly, and no
// codec library prints anything. Decoders produce the image model's three
// formats (1-bit with set bits black, 8-bit gray, 24-bit blue-green-red),
// top row first, with the file's resolution in dots per inch (0 when the
// file declares none).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDib;

namespace imagefile {

// The page budget: every decoder checks the page its file's header declares,
// and the memory its decoding path really takes for it, before allocating.
// Process-wide, set by the host through the exported setter. Its values are
// atomic: readers on any thread (every decoder's constructor) see each value
// whole while the host changes it.
//
// The defaults hold an A4 or US Letter page at 600 dpi (34.8 and 33.7
// million pixels) in colour, also as a progressive JPEG (9 bytes per pixel
// while it decodes), and keep a small file that claims a larger page from
// costing more than about a second and a few hundred megabytes.
struct PageBudget {
    static constexpr int64_t kDefaultMaxPixels = 36000000;  // per page
    static constexpr int64_t kDefaultMaxDecoderBytes = int64_t(384) << 20;
    static constexpr int64_t kDefaultMaxFileBytes = int64_t(256) << 20;
    std::atomic<int64_t> maxPixels{kDefaultMaxPixels};
    std::atomic<int64_t> maxDecoderBytes{kDefaultMaxDecoderBytes};
    // Bytes of one image file read into memory (a 600-dpi A4 colour page
    // stored uncompressed takes about 105 MB).
    std::atomic<int64_t> maxFileBytes{kDefaultMaxFileBytes};

    PageBudget() = default;
    // Copies (a saved budget, put back later) take each value as it is.
    PageBudget(const PageBudget& other) { *this = other; }
    PageBudget& operator=(const PageBudget& other) {
        maxPixels.store(other.maxPixels.load());
        maxDecoderBytes.store(other.maxDecoderBytes.load());
        maxFileBytes.store(other.maxFileBytes.load());
        return *this;
    }
};
PageBudget& CurrentPageBudget();
struct DecodeLimits;

// Why the last image read on this thread failed: the cause in a few words
// ("truncated or corrupt JPEG data: Premature end of JPEG file", "page of
// 30000 x 30000 pixels over the page budget ..."); empty when the read
// succeeded or gave no reason. Decoders state the most specific cause they
// know; the file and page readers fill in a general one when none was given.
const std::string& LastReadFailure();
void SetReadFailure(const std::string& cause);
void ClearReadFailure();
// Sets the cause unless one is already stated; returns false, so that a
// decoder can write `return Fail("...")`.
bool FailIfNoCause(const std::string& cause);

// Pixel memory a decoder needs for a page of width x height at
// bytesPerPixel (fractions as eighths: 1-bit output is 1 eighth), checked
// against the page budget's decoder bytes; states the cause when over.
bool PageMemoryAllowed(int64_t width, int64_t height, int64_t eighthsPerPixel, const DecodeLimits& limits,
                       const char* codec);

// The resolutions a page file may state and be believed: the reader takes
// anything outside this range for a missing or broken value and assumes 300.
constexpr int32_t kMinTrustedDpi = 75;
constexpr int32_t kMaxTrustedDpi = 1200;

// Reading a page straight at a lower working resolution: JPEG by DCT
// scaling (M/8 of the size), JPEG-2000 by dropping resolution levels
// (1/2, 1/4, ...). The other formats always decode at full size. The page
// is reduced only as far as its resolution stays at or above targetDpi (and
// kMinTrustedDpi), and only when that resolution is known: the host's, or
// else the file's own when it states one within the trusted range (a
// JPEG-2000 codestream states none; its pages are 300 dpi). A reduced page's
// resolution fields give the resolution it was decoded at.
struct DecodeOptions {
    int32_t targetDpi = 0;  // 0: full resolution
    int32_t pageXDpi = 0;   // the page's resolution as the host states it; 0: the file's own
    int32_t pageYDpi = 0;
    // Worker threads the JPEG-2000 decoder may use for the page: 0 one per
    // core, 1 none beside the calling thread.
    int32_t threads = 1;
    // Set by the decoder: the page's size was reduced by scaleNum / scaleDen
    // (1/1 when it was decoded at full size).
    int32_t scaleNum = 1;
    int32_t scaleDen = 1;
};

// The JPEG scale M/8 (M from 1 to 8): the smallest whose resolution
// dpi * M / 8 is still at least the target; 8 when dpi or target is 0.
int JpegScaleEighths(int32_t dpi, int32_t targetDpi);
// JPEG-2000 resolution levels to drop: the most, up to maxLevels, that keep
// dpi / 2^levels at or above the target; 0 when dpi or target is 0.
int J2kLevelsToDrop(int32_t dpi, int32_t targetDpi, int maxLevels);
// dpi * num / den, rounded to nearest.
int32_t ScaledDpi(int32_t dpi, int32_t num, int32_t den);

// Pages larger than this are refused before any pixel memory is taken. A
// default-constructed value takes the current page budget.
struct DecodeLimits {
    DecodeLimits();
    int64_t maxSide = 65535;
    int64_t maxPixels;
    int64_t maxMemory;  // bytes a decoder may hold for one page
    // Working resolution and decoder threads for the page (the decoder
    // records the scale it applied there); null: full size, one thread.
    DecodeOptions* options = nullptr;
};

enum class ImageFormat { Unknown, Bmp, Tiff, Png, Gif, Jpeg, J2k, Jp2, Pdf };

// Format by the leading bytes, through the codec table (imagefile/CodecTable.h).
ImageFormat SniffFormat(const uint8_t* data, size_t size);
// Writer by the path's extension (text after the last '.', any case);
// Unknown when no codec writes files of that suffix.
ImageFormat FormatForPath(const std::u16string& path);

// Checks the page's size against the limits; states the cause when refused.
bool PageSizeAllowed(int64_t width, int64_t height, const DecodeLimits& limits);
// dots per metre (or per centimetre) to dots per inch, rounded to nearest.
int32_t DpiFromPerMetre(double perMetre);
// Records the density a file states (its values as stored, rounded, and its
// unit) beside the image's resolution; values that are not positive or
// not finite record nothing.
void KeepStatedDensity(CDib& image, double x, double y, int32_t unit);
int32_t DpiFromPerCentimetre(double perCm);
int32_t PerMetreFromDpi(int32_t dpi);

// Whole-file I/O. ReadWholeFile refuses files above 1 GiB. WriteWholeFile
// removes a partly written file when writing fails.
bool ReadWholeFile(const std::u16string& path, std::vector<uint8_t>& data);
bool WriteWholeFile(const std::u16string& path, const std::vector<uint8_t>& data);

// Palette handling shared by every indexed format.
struct PaletteEntry {
    uint8_t r = 0, g = 0, b = 0;
};
enum class PaletteKind {
    Bilevel,  // exactly two entries, one black and one white: read as 1-bit
    Gray,     // every entry gray: read as 8-bit through the palette
    Color     // anything else: expanded to 24-bit through the palette
};
PaletteKind ClassifyPalette(const std::vector<PaletteEntry>& palette);
// Creates the image for an indexed page of that palette kind (resolution untouched).
bool CreateForPalette(CDib& image, int32_t width, int32_t height, PaletteKind kind);
// Writes one row of 8-bit indices into row y of an image made by CreateForPalette.
// Indices beyond the palette read as its first entry (black when it is empty).
void StorePaletteRow(CDib& image, int32_t y, const uint8_t* indices, const std::vector<PaletteEntry>& palette,
                     PaletteKind kind);

// Decoders. On failure the image is left without pixels.
enum class JpegDensity { AsStored, DotsPerInch };
bool DecodeBmp(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});
bool DecodeTiff(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});
// Page `page` (0 first) of a multi-page TIFF.
bool DecodeTiffPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits = {});
bool DecodePng(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});
bool DecodeGif(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});
// allowOtherColorSpaces: CMYK and YCCK pages are converted to 24-bit instead of refused.
bool DecodeJpeg(const uint8_t* data, size_t size, CDib& image, JpegDensity density,
                bool allowOtherColorSpaces, const DecodeLimits& limits = {});
// A raw JPEG-2000 codestream: three components of equal sampling and
// precision give 24-bit, one gives 8-bit, anything else fails. Resolution 300.
bool DecodeJ2k(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});
// Frame count of a multi-frame format (TIFF pages, GIF images); 1 for the
// others when they decode, 0 when unreadable.
int CountFrames(const uint8_t* data, size_t size);
int CountFramesTiff(const uint8_t* data, size_t size);
int CountFramesGif(const uint8_t* data, size_t size);
// Decodes the first page of any format that SniffFormat recognises (JPEG
// resolution converted to dots per inch).
bool DecodeAny(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits = {});

// Encoders. The image must have pixels and a bit count of 1, 8 or 24.
enum class TiffCompression { None, Lzw, CcittG3, CcittG4 };
bool EncodeBmp(const CDib& image, std::vector<uint8_t>& out);
bool EncodeTiff(const CDib& image, TiffCompression compression, std::vector<uint8_t>& out);
bool EncodePng(const CDib& image, std::vector<uint8_t>& out);
bool EncodeGif(const CDib& image, std::vector<uint8_t>& out);
bool EncodeJpeg(const CDib& image, int quality, bool forceBaseline, std::vector<uint8_t>& out);
// One-tile 9-7 codestream with the library's own coding parameters.
bool EncodeJ2k(const CDib& image, std::vector<uint8_t>& out);

}  // namespace imagefile
