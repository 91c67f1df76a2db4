#include "image/Dib.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

CDib::CDib() = default;

CDib::CDib(const CDib& src)
    : storedXDensity(src.storedXDensity),
      storedYDensity(src.storedYDensity),
      storedDensityUnit(src.storedDensityUnit),
      fileName_(src.fileName_) {
    if (src.HasPixels()) Copy(src);
}

CDib& CDib::operator=(const CDib& src) {
    if (this != &src) {
        fileName_ = src.fileName_;
        storedXDensity = src.storedXDensity;
        storedYDensity = src.storedYDensity;
        storedDensityUnit = src.storedDensityUnit;
    }
    if (src.HasPixels()) {
        if (this != &src) Copy(src);
    } else if (HasPixels()) {
        Free();
    }
    return *this;
}

CDib::~CDib() { Free(); }

int64_t CDib::RowBytes(int64_t w, int32_t bpp) {
    if (w <= 0) return 0;
    switch (bpp) {
        case 1:
            return ((w + 31) / 32) * 4;
        case 8:
            return ((w + 3) / 4) * 4;
        case 24:
            return ((3 * w + 3) / 4) * 4;
        default:
            return 0;
    }
}

int CDib::Allocate(int32_t stride, bool clear) {
    // The whole block must fit a 32-bit signed byte count.
    const int64_t total = static_cast<int64_t>(stride) * height;
    if (stride <= 0 || height <= 0 || total <= 0 || total > std::numeric_limits<int32_t>::max()) return 0;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
    std::unique_ptr<uint8_t*[]> table(new (std::nothrow) uint8_t*[static_cast<size_t>(height)]);
    if (!block || !table) return 0;
    if (clear) std::memset(block.get(), 0, static_cast<size_t>(total));
    for (int32_t y = 0; y < height; ++y) table[y] = block.get() + static_cast<size_t>(y) * stride;
    bits_ = std::move(block);
    rows_ = std::move(table);
    view_ = false;
    bytesPerRow = stride;
    return 1;
}

int CDib::Create(int32_t w, int32_t h, int32_t bpp, int32_t resolution) {
    return CreatePixels(w, h, bpp, resolution, true);
}

int CDib::CreateForOverwrite(int32_t w, int32_t h, int32_t bpp, int32_t resolution) {
    return CreatePixels(w, h, bpp, resolution, false);
}

int CDib::CreatePixels(int32_t w, int32_t h, int32_t bpp, int32_t resolution, bool clear) {
    if (HasPixels() && !view_ && w == width && h == height && bpp == bitCount) {
        if (clear) std::memset(bits_.get(), 0, static_cast<size_t>(height) * bytesPerRow);
        return 1;
    }
    Free();
    width = w;
    height = h;
    bitCount = bpp;
    if (bpp != 1 && bpp != 8 && bpp != 24) return 0;
    const int64_t stride = RowBytes(w, bpp);
    if (w <= 0 || h <= 0 || stride <= 0 || stride > std::numeric_limits<int32_t>::max()) return 0;
    if (!Allocate(static_cast<int32_t>(stride), clear)) return 0;
    xResolution = resolution;
    yResolution = resolution;
    return 1;
}

int CDib::CreateWithStride(int32_t w, int32_t h, int32_t bpp, int32_t stride) {
    return CreateStrided(w, h, bpp, stride, true);
}

int CDib::CreateWithStrideForOverwrite(int32_t w, int32_t h, int32_t bpp, int32_t stride) {
    if (!CreateStrided(w, h, bpp, stride, false)) return 0;
    const size_t used = (static_cast<size_t>(w) * static_cast<size_t>(bpp) + 7) / 8;
    const size_t pad = static_cast<size_t>(stride) - used;
    if (pad)
        for (int32_t y = 0; y < h; ++y) std::memset(rows_[y] + used, 0, pad);
    return 1;
}

int CDib::CreateStrided(int32_t w, int32_t h, int32_t bpp, int32_t stride, bool clear) {
    Free();
    if (bpp != 1 && bpp != 8 && bpp != 24) return 0;
    const int64_t minimum = RowBytes(w, bpp);
    if (w <= 0 || h <= 0 || minimum <= 0 || stride < minimum || stride % 4 != 0) return 0;
    width = w;
    height = h;
    bitCount = bpp;
    if (!Allocate(stride, clear)) {
        Free();
        return 0;
    }
    return 1;
}

void CDib::Free() {
    rows_.reset();
    bits_.reset();
    view_ = false;
    width = height = bitCount = bytesPerRow = 0;
}

void CDib::TakePixels(CDib& from) {
    if (&from == this) return;
    rows_ = std::move(from.rows_);
    bits_ = std::move(from.bits_);
    view_ = from.view_;
    width = from.width;
    height = from.height;
    bitCount = from.bitCount;
    bytesPerRow = from.bytesPerRow;
    from.Free();
}

int CDib::Copy(const CDib& src) {
    if (!src.HasPixels()) {
        Free();
        return 0;
    }
    if (&src == this) return 1;
    // The copy takes the source's layout (a reader may have chosen a wider
    // stride than Create does) so the byte copy stays exact. The copy writes
    // every byte, so the block is not cleared first, and pixels of the same
    // layout are reused.
    // A view's rows are not this image's to write: they are replaced.
    const bool sameLayout = HasPixels() && !view_ && width == src.width && height == src.height &&
                            bitCount == src.bitCount && bytesPerRow == src.bytesPerRow;
    if (!sameLayout) {
        Free();
        width = src.width;
        height = src.height;
        bitCount = src.bitCount;
        if (!Allocate(src.bytesPerRow, false)) {
            Free();
            return 0;
        }
    }
    xResolution = src.xResolution;
    yResolution = src.xResolution;
    // Row by row: the source's rows need not follow its block's order. Of
    // a view's rows only the pixel bytes are the owner's; the rest of each
    // row is cleared.
    const size_t used = src.view_ ? (static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 7) / 8
                                  : static_cast<size_t>(bytesPerRow);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(rows_[y], src.rows_[y], used);
        if (used < static_cast<size_t>(bytesPerRow)) std::memset(rows_[y] + used, 0, bytesPerRow - used);
    }
    return 1;
}

int CDib::ViewRows(uint8_t* const* hostRows, int32_t w, int32_t h, int32_t bpp, int32_t resolution) {
    Free();
    if (!hostRows || (bpp != 1 && bpp != 8 && bpp != 24)) return 0;
    const int64_t stride = RowBytes(w, bpp);
    if (w <= 0 || h <= 0 || stride <= 0 || stride > std::numeric_limits<int32_t>::max() / h) return 0;
    std::unique_ptr<uint8_t*[]> table(new (std::nothrow) uint8_t*[static_cast<size_t>(h)]);
    if (!table) return 0;
    for (int32_t y = 0; y < h; ++y) {
        if (!hostRows[y]) return 0;
        table[y] = hostRows[y];
    }
    rows_ = std::move(table);
    view_ = true;
    width = w;
    height = h;
    bitCount = bpp;
    bytesPerRow = static_cast<int32_t>(stride);
    xResolution = resolution;
    yResolution = resolution;
    return 1;
}

void CDib::OwnPixels() {
    if (!view_) return;
    CDib own;
    own.width = width;
    own.height = height;
    own.bitCount = bitCount;
    if (!own.Allocate(bytesPerRow, false)) throw std::bad_alloc();
    const size_t used = (static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 7) / 8;
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(own.rows_[y], rows_[y], used);
        if (used < static_cast<size_t>(bytesPerRow)) std::memset(own.rows_[y] + used, 0, bytesPerRow - used);
    }
    rows_ = std::move(own.rows_);
    bits_ = std::move(own.bits_);
    view_ = false;
}

namespace {

int32_t DensityToDpi(int32_t value, int32_t unit) {
    if (value <= 0) return 0;
    double dpi = 0;
    switch (unit) {
        case CDib::kDensityPerInch:
            dpi = value;
            break;
        case CDib::kDensityPerCm:
            dpi = value * 2.54;
            break;
        case CDib::kDensityPerMetre:
            dpi = value * 0.0254;
            break;
        default:
            return 0;
    }
    if (dpi > 1e6) return 1000000;
    return static_cast<int32_t>(dpi + 0.5);
}

}  // namespace

int32_t CDib::StoredXDpi() const { return DensityToDpi(storedXDensity, storedDensityUnit); }
int32_t CDib::StoredYDpi() const { return DensityToDpi(storedYDensity, storedDensityUnit); }
