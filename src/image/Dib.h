// The one in-memory raster image: 1-bit (set bit = black, leftmost pixel in
// the most significant bit), 8-bit gray (0 = black) or 24-bit (blue, green,
// red). Rows are top first and padded to multiples of 4 bytes; every walk of
// the pixels goes through Row(y) (or the row table Rows()) and `bytesPerRow`.
// A const image hands out read-only rows only. Reading and writing files is
// the image-file layer's work (imagefile/ImageFile.h).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

class CDib {
public:
    CDib();
    CDib(const CDib& src);
    CDib& operator=(const CDib& src);
    virtual ~CDib();

    // Creates a zero-filled image. Same geometry as now: clears the pixels and
    // keeps everything else. Returns 1, or 0 for a bit count other than 1, 8,
    // 24, a size that is not positive or overflows, or no memory.
    int Create(int32_t width, int32_t height, int32_t bitCount, int32_t resolution);
    // Like Create, but the pixel bytes are left as they are (fresh memory or
    // the previous pixels of the same geometry): only for callers that write
    // every byte of every row, the padding past the width included, before
    // anything reads the image.
    int CreateForOverwrite(int32_t width, int32_t height, int32_t bitCount, int32_t resolution);
    // Like Create but with a row length chosen by the caller (image readers
    // keep their decoder's stride). stride must be a multiple of 4 and hold a
    // whole row. Resolution is left unchanged.
    int CreateWithStride(int32_t width, int32_t height, int32_t bitCount, int32_t stride);
    // Like CreateWithStride, but only the bytes past each row's pixels (from
    // byte (width x bitCount + 7) / 8 on) are cleared: for image decoders that
    // write every pixel byte of every row before the image is used, and that
    // fail and free it otherwise, so no pixel is ever read uninitialised.
    int CreateWithStrideForOverwrite(int32_t width, int32_t height, int32_t bitCount, int32_t stride);
    // Releases the pixels; resolution and file name are kept.
    void Free();
    // Copies the pixels of src (not the file name). 0 when src is empty.
    int Copy(const CDib& src);
    // Takes over the pixels of `from` without a copy, leaving it empty; this
    // image's resolution and file name are kept.
    void TakePixels(CDib& from);
    // Exchanges rows a and b by their pointers, without moving pixels; both
    // must lie in [0, height). The rows then no longer follow the block's
    // order, which every walk through Row(y) respects.
    void SwapRows(int32_t a, int32_t b) { std::swap(rows_[a], rows_[b]); }

    // Makes this image a read-only view of rows that someone else owns (a
    // host's page): `rows` holds `height` pointers to rows of at least
    // (width x bitCount + 7) / 8 bytes, which must stay valid while the view
    // lasts. Nothing is copied, and the owner's rows are never written: the
    // first use of a non-const accessor (Row, Rows, Bits) copies the pixels
    // into the image's own block (copy-on-write; std::bad_alloc when that
    // copy cannot be had). Readers of a view stay within each row's pixel
    // bytes; Bits() const is null for a view, whose rows are not one block.
    // Returns 1, or 0 (image empty) for a bit count other than 1, 8, 24, a
    // size that is not positive or whose rows overflow, a null row, or no
    // memory for the row table.
    int ViewRows(uint8_t* const* rows, int32_t width, int32_t height, int32_t bitCount, int32_t resolution);
    // True while the pixels are another owner's rows (see ViewRows).
    bool IsView() const { return view_; }

    bool HasPixels() const { return rows_ != nullptr && (bits_ != nullptr || view_); }
    const std::u16string& FileName() const { return fileName_; }
    void SetFileName(const std::u16string& path) { fileName_ = path; }
    // Row length that Create computes for a geometry; 0 when it overflows.
    static int64_t RowBytes(int64_t width, int32_t bitCount);

    // Row y (0 = top); y must lie in [0, height). Rows are bytesPerRow apart
    // in one block starting at Bits().
    uint8_t* Row(int32_t y) {
        if (view_) OwnPixels();
        return rows_[y];
    }
    const uint8_t* Row(int32_t y) const { return rows_[y]; }
    // The row table (height entries), for kernels that walk rows by pointer;
    // null when there are no pixels.
    uint8_t* const* Rows() {
        if (view_) OwnPixels();
        return rows_.get();
    }
    const uint8_t* const* Rows() const { return rows_.get(); }
    // The first byte of the pixel block; null when there are no pixels.
    uint8_t* Bits() {
        if (view_) OwnPixels();
        return bits_.get();
    }
    const uint8_t* Bits() const { return bits_.get(); }

    int32_t width = 0;
    int32_t height = 0;
    int32_t bitCount = 0;
    int32_t bytesPerRow = 0;
    int32_t xResolution = 0;
    int32_t yResolution = 0;
    // The density the image file stated, as stored there, before the reader
    // replaced an implausible resolution: its two values and their unit
    // (kDensity...). Pages that did not come from a file state none.
    enum DensityUnit : int32_t {
        kDensityNone = 0,
        kDensityPerInch = 1,
        kDensityPerCm = 2,
        kDensityPerMetre = 3
    };
    int32_t storedXDensity = 0;
    int32_t storedYDensity = 0;
    int32_t storedDensityUnit = kDensityNone;
    // The stated density in dots per inch (rounded), or 0 when the file
    // stated none or no absolute unit.
    int32_t StoredXDpi() const;
    int32_t StoredYDpi() const;
    // Forgets the stated density (the pixels no longer are the file's).
    void ClearStoredDensity() {
        storedXDensity = storedYDensity = 0;
        storedDensityUnit = kDensityNone;
    }

private:
    // Makes the pixel block and row table; `clear` zero-fills the block
    // (callers that overwrite every byte at once skip it).
    int Allocate(int32_t stride, bool clear = true);
    int CreatePixels(int32_t width, int32_t height, int32_t bitCount, int32_t resolution, bool clear);
    int CreateStrided(int32_t width, int32_t height, int32_t bitCount, int32_t stride, bool clear);
    // Copies a view's pixels into an own block (the write of copy-on-write).
    void OwnPixels();

    std::u16string fileName_;
    std::unique_ptr<uint8_t*[]> rows_;
    std::unique_ptr<uint8_t[]> bits_;
    // The rows are another owner's (ViewRows); bits_ is then null.
    bool view_ = false;
};

class CRawImage : public CDib {
public:
    CRawImage() = default;
    CRawImage(const CRawImage& src) = default;
    CRawImage& operator=(const CRawImage& src) = default;
    ~CRawImage() override = default;

    // One-call processing shortcuts. dst null = in place.
    int Rotate(CRawImage* dst, int mode, double angle, int interpolate, int keepSize, int whiteFill);
    int TrueColorToGray(CRawImage* dst, int method);
    int GrayToBinary(CRawImage* dst, int method);
    int GrayToBinaryBlock(CRawImage* dst, int blockCount, int method);
    int Crop(CRawImage* dst, int left, int top, int right, int bottom);
    int Morpho(int kind, int length);
    int BinToGray(CRawImage* dst);
    // The same on a const image, which they only read: the result goes to
    // dst, and a null dst returns 0 with nothing done.
    int Rotate(CRawImage* dst, int mode, double angle, int interpolate, int keepSize, int whiteFill) const;
    int TrueColorToGray(CRawImage* dst, int method) const;
    int GrayToBinary(CRawImage* dst, int method) const;
    int GrayToBinaryBlock(CRawImage* dst, int blockCount, int method) const;
    int Crop(CRawImage* dst, int left, int top, int right, int bottom) const;
    int BinToGray(CRawImage* dst) const;
    double EstimateSkew() const;
};
