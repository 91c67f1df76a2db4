// Pieces shared by the format codecs: format detection, size limits,
// resolution units, whole-file I/O and palette handling.
#include "imagefile/ImageCodecs.h"
#include "imagefile/CodecTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/TextConv.h"
#include "image/BitPixels.h"
#include "image/Dib.h"
#include "platform/PlatformProcesses.h"
#include "platform/SafeFile.h"

namespace imagefile {

ImageFormat SniffFormat(const uint8_t* d, size_t n) {
    const Codec* codec = CodecBySignature(d, n);
    return codec ? codec->format : ImageFormat::Unknown;
}

ImageFormat FormatForPath(const std::u16string& path) {
    const Codec* codec = CodecForWriting(path);
    return codec ? codec->format : ImageFormat::Unknown;
}

PageBudget& CurrentPageBudget() {
    static PageBudget budget;
    return budget;
}

DecodeLimits::DecodeLimits()
    : maxPixels(CurrentPageBudget().maxPixels), maxMemory(CurrentPageBudget().maxDecoderBytes) {}

namespace {
thread_local std::string tLastReadFailure;
}

const std::string& LastReadFailure() { return tLastReadFailure; }
void SetReadFailure(const std::string& cause) { tLastReadFailure = cause; }
void ClearReadFailure() { tLastReadFailure.clear(); }
bool FailIfNoCause(const std::string& cause) {
    if (tLastReadFailure.empty()) tLastReadFailure = cause;
    return false;
}

bool PageSizeAllowed(int64_t w, int64_t h, const DecodeLimits& limits) {
    if (w <= 0 || h <= 0)
        return FailIfNoCause("page without pixels (" + std::to_string(w) + " x " + std::to_string(h) + ")");
    if (w > limits.maxSide || h > limits.maxSide || w * h > limits.maxPixels)
        return FailIfNoCause("page of " + std::to_string(w) + " x " + std::to_string(h) +
                             " pixels over the page budget (" + std::to_string(limits.maxPixels) +
                             " pixels, sides up to " + std::to_string(limits.maxSide) + ")");
    return true;
}

bool PageMemoryAllowed(int64_t w, int64_t h, int64_t eighthsPerPixel, const DecodeLimits& limits,
                       const char* codec) {
    if (!PageSizeAllowed(w, h, limits)) return false;
    // w * h is at most maxPixels here; the product stays far from overflow.
    const int64_t bytes = (w * h * eighthsPerPixel + 7) / 8;
    if (bytes > limits.maxMemory)
        return FailIfNoCause("page of " + std::to_string(w) + " x " + std::to_string(h) + " pixels needs " +
                             std::to_string(bytes >> 20) + " MiB to decode as " + codec +
                             ", over the page budget of " + std::to_string(limits.maxMemory >> 20) + " MiB");
    return true;
}

static int32_t WorkingTarget(int32_t targetDpi) {
    return targetDpi > 0 ? std::max(targetDpi, kMinTrustedDpi) : 0;
}

int JpegScaleEighths(int32_t dpi, int32_t targetDpi) {
    const int64_t target = WorkingTarget(targetDpi);
    if (dpi <= 0 || target <= 0) return 8;
    for (int m = 1; m < 8; ++m)
        if (int64_t(dpi) * m >= target * 8) return m;
    return 8;
}

int J2kLevelsToDrop(int32_t dpi, int32_t targetDpi, int maxLevels) {
    const int64_t target = WorkingTarget(targetDpi);
    if (dpi <= 0 || target <= 0) return 0;
    int levels = 0;
    while (levels < maxLevels && levels < 30 && int64_t(dpi) >= target << (levels + 1)) ++levels;
    return levels;
}

int32_t ScaledDpi(int32_t dpi, int32_t num, int32_t den) {
    if (dpi <= 0 || num <= 0 || den <= 0) return 0;
    return static_cast<int32_t>((int64_t(dpi) * num * 2 + den) / (int64_t(den) * 2));
}

static int32_t RoundDpi(double dpi) {
    if (!(dpi > 0)) return 0;
    if (dpi > 1e6) return 1000000;
    return static_cast<int32_t>(std::floor(dpi + 0.5));
}

void KeepStatedDensity(CDib& image, double x, double y, int32_t unit) {
    image.ClearStoredDensity();
    if (!(x > 0) || !(y > 0) || !(x < 2e9) || !(y < 2e9)) return;
    image.storedXDensity = static_cast<int32_t>(std::floor(x + 0.5));
    image.storedYDensity = static_cast<int32_t>(std::floor(y + 0.5));
    image.storedDensityUnit = unit;
}

int32_t DpiFromPerMetre(double perMetre) { return RoundDpi(perMetre * 0.0254); }
int32_t DpiFromPerCentimetre(double perCm) { return RoundDpi(perCm * 2.54); }
int32_t PerMetreFromDpi(int32_t dpi) {
    if (dpi <= 0) return 0;
    return static_cast<int32_t>(std::floor(dpi / 0.0254 + 0.5));
}

bool ReadWholeFile(const std::u16string& path, std::vector<uint8_t>& data) {
    // Only regular files are read: a FIFO or device path is refused at once.
    if (!libMorvaneClassifier::ReadRegularFile(libMorvaneClassifier::Utf16ToPathBytes(path),
                                               libMorvaneClassifier::kMaxImageFileBytes, data))
        return false;
    if (data.empty()) return false;
    return true;
}

bool WriteWholeFile(const std::u16string& path, const std::vector<uint8_t>& data) {
    if (data.empty()) return false;
    std::FILE* f = libMorvaneClassifier::OpenPlatformFile(path, u"wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::remove(libMorvaneClassifier::Utf16ToPathBytes(path).c_str());
    return ok;
}

PaletteKind ClassifyPalette(const std::vector<PaletteEntry>& pal) {
    auto isBlack = [](const PaletteEntry& e) { return e.r == 0 && e.g == 0 && e.b == 0; };
    auto isWhite = [](const PaletteEntry& e) { return e.r == 255 && e.g == 255 && e.b == 255; };
    if (pal.size() == 2 && ((isBlack(pal[0]) && isWhite(pal[1])) || (isWhite(pal[0]) && isBlack(pal[1]))))
        return PaletteKind::Bilevel;
    for (const auto& e : pal)
        if (e.r != e.g || e.g != e.b) return PaletteKind::Color;
    return PaletteKind::Gray;
}

bool CreateForPalette(CDib& image, int32_t width, int32_t height, PaletteKind kind) {
    const int32_t bpp = kind == PaletteKind::Bilevel ? 1 : kind == PaletteKind::Gray ? 8 : 24;
    const int64_t stride = CDib::RowBytes(width, bpp);
    if (stride <= 0 || stride > INT32_MAX) return false;
    return image.CreateWithStride(width, height, bpp, static_cast<int32_t>(stride)) != 0;
}

void StorePaletteRow(CDib& image, int32_t y, const uint8_t* idx, const std::vector<PaletteEntry>& pal,
                     PaletteKind kind) {
    PaletteEntry lut[256];
    for (size_t i = 0; i < 256; ++i)
        lut[i] = pal.empty() ? PaletteEntry{} : (i < pal.size() ? pal[i] : pal[0]);
    uint8_t* row = image.Row(y);
    const int32_t w = image.width;
    if (kind == PaletteKind::Bilevel) {
        std::memset(row, 0, static_cast<size_t>(image.bytesPerRow));
        for (int32_t x = 0; x < w; ++x)
            if (lut[idx[x]].r == 0) bitpixels::Set(row, x);
    } else if (kind == PaletteKind::Gray) {
        for (int32_t x = 0; x < w; ++x) row[x] = lut[idx[x]].r;
    } else {
        for (int32_t x = 0; x < w; ++x) {
            const PaletteEntry& e = lut[idx[x]];
            row[3 * x] = e.b;
            row[3 * x + 1] = e.g;
            row[3 * x + 2] = e.r;
        }
    }
}

}  // namespace imagefile
