#include "image/BinToGray.h"

#include <cstring>

#include "image/BitPixels.h"

namespace {

struct ExpandTable {
    uint8_t pattern[256][8];
    const uint8_t* operator[](int b) const { return pattern[b]; }
};

ExpandTable MakeExpandTable() {
    ExpandTable t{};
    for (int b = 0; b < 256; ++b)
        for (int k = 0; k < 8; ++k) t.pattern[b][k] = (b & bitpixels::MaskAt(k)) ? 0 : 255;
    return t;
}

}  // namespace

int CBinToGray::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels() || source_->bitCount != 1) return 0;
    const CRawImage& src = *source_;
    if (!dst.Create(src.width, src.height, 8, src.xResolution)) return 0;
    // Each source byte expands to 8 gray bytes; a lookup of the 256 patterns
    // keeps the inner loop to one copy per byte. The table is built once, by
    // the first caller, under the initialisation guarantee of a local static.
    static const ExpandTable table = MakeExpandTable();
    const int fullBytes = src.width >> 3;
    const int rest = src.width & 7;
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int i = 0; i < fullBytes; ++i) std::memcpy(out + 8 * i, table[in[i]], 8);
        if (rest) std::memcpy(out + 8 * fullBytes, table[in[fullBytes]], rest);
    }
    return 1;
}
