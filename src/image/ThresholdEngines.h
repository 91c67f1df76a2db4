// The thresholding engines behind CGrayToBinary. Each is handed the gray
// source rows (0 black .. 255 white), the size and the destination rows of
// an all-white 1-bit image of the same size, and sets the bits of the pixels
// it finds black. Engines with one global threshold leave it in `threshold`
// after the run so callers and tests can see the decision.
#pragma once
#include <cstdint>
#include <memory>
#include <new>

using GrayRows = const uint8_t* const*;
using BitRows = uint8_t* const*;

// Scratch memory of n values (at least one); null when it cannot be had.
template <typename T>
std::unique_ptr<T[]> ThresholdScratch(int64_t n) {
    if (n <= 0) n = 1;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(n)]);
}

// Sets the bit of every pixel of columns [0, width) and rows [0, height)
// whose value is below threshold.
void BinarizeBelow(GrayRows src, int width, int height, BitRows dst, int threshold);

// Histogram of a gray page.
void GrayHistogram(GrayRows src, int width, int height, int64_t hist[256]);

// Background flattening: every level above `cut` becomes `white`.
struct FlattenLevels {
    int cut = 255;
    int white = 255;
};
FlattenLevels FlattenFromHistogram(const int64_t hist[256]);
void FlattenTable(const FlattenLevels& levels, uint8_t table[256]);

// Raises the bright background of a private gray copy to one level so that
// global thresholds see a flat page (shared by methods 3 and 7). `pixels`
// holds width * height values row after row.
void FlattenBackground(uint8_t* pixels, int64_t count);

// Method 0: percentile walk from the dark or bright end of the histogram of
// the page less a 100-pixel margin.
class CPercentileThreshold {
public:
    virtual ~CPercentileThreshold() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
    int threshold = 0;
};

// Method 1: threshold from the gray levels that edges cross.
class CConThld {
public:
    virtual ~CConThld() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
    int threshold = 0;
};

// Method 2: local contrast against eight window means around each pixel.
class CImgPro {
public:
    virtual ~CImgPro() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
};

// Method 3: background flattening, then local mean minus 0.2 deviation.
class CNiblackBinary {
public:
    virtual ~CNiblackBinary() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
};

// Method 5: two Otsu thresholds chosen between by stroke run lengths.
class CFuzz {
public:
    virtual ~CFuzz() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
    int threshold = 0;
    int t1 = 0;
    int t2 = 0;
};

// Method 7: background flattening, then Otsu's threshold.
class COtsu {
public:
    virtual ~COtsu() = default;
    int Run(GrayRows src, int width, int height, BitRows dst);
    int threshold = 0;
};

// Method 6: thresholds of 8 x 8 blocks of a smoothed page, spread to
// undetermined blocks. 0 when scratch memory cannot be had.
int BinarizeBlockMinMax(GrayRows src, int width, int height, BitRows dst);

// Method 8: Sauvola pre-binarisation, background surface, adaptive final
// threshold. 0 for an empty image or when scratch memory cannot be had.
int BinarizeAdaptiveBackground(GrayRows src, int width, int height, BitRows dst);
