#include "image/Profile.h"
#include "image/BitPixels.h"

#include <algorithm>
#include <cmath>

namespace libMorvaneClassifier {

namespace {

// Byte tables: number of set bits, index (0 = leftmost pixel) of the first
// set bit, and number of trailing clear bits (white pixels at the right end).
struct ByteTables {
    uint8_t bits[256];
    uint8_t firstBlack[256];
    uint8_t trailingWhite[256];
    ByteTables() {
        for (int b = 0; b < 256; ++b) {
            int n = 0;
            for (int k = 0; k < 8; ++k) n += (b >> k) & 1;
            bits[b] = static_cast<uint8_t>(n);
            int f = 8;
            for (int k = 0; k < 8; ++k)
                if (b & bitpixels::MaskAt(k)) {
                    f = k;
                    break;
                }
            firstBlack[b] = static_cast<uint8_t>(f);
            int t = 0;
            while (t < 8 && !(b & (1 << t))) ++t;
            trailingWhite[b] = static_cast<uint8_t>(t);
        }
    }
};

const ByteTables& Tables() {
    static const ByteTables tables;
    return tables;
}

}  // namespace

bool RowProfile(const CRawImage& image, ProfileEntry* entries, const ProfileRect& rect) {
    if (!entries || !image.HasPixels() || image.bitCount != 1) return false;
    if (rect.left < 0 || rect.top < 0 || rect.right > image.width || rect.left > image.width ||
        rect.bottom > image.height || rect.top > image.height)
        return false;
    const ByteTables& t = Tables();
    const int32_t left = rect.left, right = rect.right;
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        ProfileEntry& e = entries[y - rect.top];
        e.count = 0;
        e.first = e.last = left;
        if (right <= left) continue;
        const uint8_t* row = image.Row(y);
        const int32_t b0 = left >> 3, b1 = (right - 1) >> 3;
        const uint8_t headMask = static_cast<uint8_t>(0xFF >> (left & 7));
        const uint8_t tailMask = static_cast<uint8_t>(0xFF << (7 - ((right - 1) & 7)));
        int32_t count = 0, firstByte = -1, lastByte = -1;
        uint8_t firstVal = 0, lastVal = 0;
        for (int32_t i = b0; i <= b1; ++i) {
            uint8_t v = row[i];
            if (i == b0) v &= headMask;
            if (i == b1) v &= tailMask;
            if (!v) continue;
            count += t.bits[v];
            if (firstByte < 0) {
                firstByte = i;
                firstVal = v;
            }
            lastByte = i;
            lastVal = v;
        }
        if (count == 0) continue;
        e.count = count;
        e.first = firstByte * 8 + t.firstBlack[firstVal];
        e.last = lastByte * 8 + (8 - t.trailingWhite[lastVal]);
    }
    return true;
}

bool ColumnProfile(const uint8_t* const* rows, int32_t width, int32_t height, ProfileEntry* entries,
                   const ProfileRect& rect) {
    if (!rows || !entries || width <= 0 || height <= 0) return false;
    if (rect.left < 0 || rect.top < 0 || rect.left > width || rect.right > width || rect.top > height ||
        rect.bottom > height)
        return false;
    const int32_t n = rect.right - rect.left;
    if (n <= 0) return true;
    for (int32_t i = 0; i < n; ++i) {
        entries[i].count = 0;
        entries[i].first = entries[i].last = rect.top;
    }
    const int32_t y0 = std::max(rect.top - 1, 0);
    const int32_t y1 = std::min(rect.bottom, height - 1);
    for (int32_t y = y0; y <= y1; ++y) {
        const uint8_t* row = rows[y];
        for (int32_t x = rect.left; x < rect.right;) {
            const uint8_t byte = row[bitpixels::ByteOf(x)];
            if (byte == 0) {
                x = (x | 7) + 1;
                continue;
            }
            if (byte & bitpixels::MaskOf(x)) {
                ProfileEntry& e = entries[x - rect.left];
                if (e.count == 0) e.first = y;
                e.last = y;
                ++e.count;
            }
            ++x;
        }
    }
    return true;
}

bool ColumnProfile(const CRawImage& image, ProfileEntry* entries, const ProfileRect& rect) {
    if (!image.HasPixels() || image.bitCount != 1) return false;
    return ColumnProfile(image.Rows(), image.width, image.height, entries, rect);
}

bool SmoothGaussian(std::vector<float>& out, const std::vector<float>& in, double sigma) {
    if (!(sigma > 0) || sigma > 1000) return false;
    const int64_t n = static_cast<int64_t>(in.size());
    if (n < 1) return true;
    const int r = 1 - static_cast<int>(std::trunc(-3 * sigma));
    std::vector<double> w(2 * static_cast<size_t>(r) + 1);
    double total = 0;
    for (int i = -r; i <= r; ++i) {
        w[i + r] = std::exp(-static_cast<double>(i) * i * 0.5 / sigma / sigma);
        total += w[i + r];
    }
    for (double& v : w) v /= total;
    std::vector<float> result(static_cast<size_t>(n));
    for (int64_t j = 0; j < n; ++j) {
        double s = 0;
        for (int t = 0; t <= 2 * r; ++t) {
            const int64_t c = std::clamp<int64_t>(j - r + t, 0, n - 1);
            s += w[t] * in[static_cast<size_t>(c)];
        }
        result[static_cast<size_t>(j)] = static_cast<float>(s);
    }
    out.swap(result);
    return true;
}

bool SmoothGaussianInPlace(std::vector<float>& series, double sigma) {
    std::vector<float> tmp;
    if (!SmoothGaussian(tmp, series, sigma)) return false;
    if (!series.empty()) series.swap(tmp);
    return true;
}

std::vector<float> ProfileCounts(const ProfileEntry* entries, int32_t n) {
    std::vector<float> v;
    if (!entries || n <= 0) return v;
    v.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) v.push_back(static_cast<float>(entries[i].count));
    return v;
}

}  // namespace libMorvaneClassifier
