#include "preprocess/NormalizeResolution.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "preprocess/ScanSteps.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CNormalizeResolutionInfo::CNormalizeResolutionInfo() : CImageProcessingInfo(kStepNormalizeResolution) {}

void CNormalizeResolutionInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"NormalizeResolution");
    AddParameter(list, u"Dpi", &dpi, kParamInteger);
    AddParameter(list, u"Tolerance", &tolerance, kParamInteger);
}

void CNormalizeResolutionInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CNormalizeResolutionInfo*>(&other)) {
        dpi = o->dpi;
        tolerance = o->tolerance;
    }
}

bool CNormalizeResolutionInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"NormalizeResolution")) return false;
    dpi = xml.ReadIntAttribute(u"Dpi");
    tolerance = xml.ReadIntAttribute(u"Tolerance");
    return true;
}

bool CNormalizeResolutionInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"NormalizeResolution") && xml.WriteAttribute(u"Dpi", dpi) &&
           xml.WriteAttribute(u"Tolerance", tolerance);
}

namespace {

// One output sample: source indices first .. first + count - 1 with 16-bit
// fixed-point weights that add up to 65536.
struct Taps {
    std::vector<int32_t> first;
    std::vector<int32_t> count;
    std::vector<uint32_t> weights;  // count[i] weights per output sample, in order
    std::vector<size_t> offset;     // where each sample's weights start
};

Taps MakeTaps(int32_t from, int32_t to) {
    Taps t;
    t.first.resize(static_cast<size_t>(to));
    t.count.resize(static_cast<size_t>(to));
    t.offset.resize(static_cast<size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int32_t i = 0; i < to; ++i) {
        t.offset[static_cast<size_t>(i)] = t.weights.size();
        if (scale > 1.0) {
            // Shrinking: the mean of the source pixels the output pixel covers.
            int32_t a = static_cast<int32_t>(std::floor(i * scale));
            int32_t b = static_cast<int32_t>(std::ceil((i + 1) * scale));
            a = std::clamp(a, 0, from - 1);
            b = std::clamp(b, a + 1, from);
            const int32_t n = b - a;
            t.first[static_cast<size_t>(i)] = a;
            t.count[static_cast<size_t>(i)] = n;
            uint32_t left = 65536;
            for (int32_t k = 0; k < n; ++k) {
                const uint32_t wgt = k == n - 1 ? left : 65536u / static_cast<uint32_t>(n);
                t.weights.push_back(wgt);
                left -= wgt;
            }
        } else {
            // Growing: linear between the two nearest source pixel centres.
            const double x = (i + 0.5) * scale - 0.5;
            int32_t a = static_cast<int32_t>(std::floor(x));
            double frac = x - a;
            if (a < 0) {
                a = 0;
                frac = 0;
            }
            if (a >= from - 1) {
                a = from - 1;
                frac = 0;
            }
            const uint32_t wb = static_cast<uint32_t>(std::lround(frac * 65536));
            t.first[static_cast<size_t>(i)] = a;
            if (wb == 0 || a + 1 >= from) {
                t.count[static_cast<size_t>(i)] = 1;
                t.weights.push_back(65536);
            } else {
                t.count[static_cast<size_t>(i)] = 2;
                t.weights.push_back(65536 - wb);
                t.weights.push_back(wb);
            }
        }
    }
    return t;
}

// Resamples an 8-bit-per-channel image with `ch` channels.
bool ResampleBytes(const CRawImage& src, int32_t ch, int32_t nw, int32_t nh, CRawImage* dst) {
    const Taps tx = MakeTaps(src.width, nw), ty = MakeTaps(src.height, nh);
    // Horizontal pass into rows of nw samples, one per source row.
    const size_t rowLen = static_cast<size_t>(nw) * ch;
    std::vector<uint8_t> mid(rowLen * static_cast<size_t>(src.height));
    for (int32_t y = 0; y < src.height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = &mid[rowLen * static_cast<size_t>(y)];
        for (int32_t x = 0; x < nw; ++x) {
            const int32_t a = tx.first[static_cast<size_t>(x)], n = tx.count[static_cast<size_t>(x)];
            const uint32_t* wgt = &tx.weights[tx.offset[static_cast<size_t>(x)]];
            for (int32_t c = 0; c < ch; ++c) {
                uint64_t s = 0;
                for (int32_t k = 0; k < n; ++k) s += static_cast<uint64_t>(wgt[k]) * in[(a + k) * ch + c];
                out[x * ch + c] = static_cast<uint8_t>((s + 32768) >> 16);
            }
        }
    }
    if (!dst->Create(nw, nh, ch * 8, src.xResolution)) return false;
    std::vector<uint32_t> acc(rowLen);
    for (int32_t y = 0; y < nh; ++y) {
        std::fill(acc.begin(), acc.end(), 0u);
        const int32_t a = ty.first[static_cast<size_t>(y)], n = ty.count[static_cast<size_t>(y)];
        const uint32_t* wgt = &ty.weights[ty.offset[static_cast<size_t>(y)]];
        for (int32_t k = 0; k < n; ++k) {
            const uint8_t* in = &mid[rowLen * static_cast<size_t>(a + k)];
            const uint32_t wk = wgt[k] >> 8;  // 8-bit weights keep the sum in 32 bits
            for (size_t i = 0; i < rowLen; ++i) acc[i] += wk * in[i];
        }
        uint8_t* out = dst->Row(y);
        for (size_t i = 0; i < rowLen; ++i)
            out[i] = static_cast<uint8_t>(std::min<uint32_t>(255, (acc[i] + 128) >> 8));
    }
    return true;
}

}  // namespace

bool ResampleImage(CRawImage& image, int32_t newWidth, int32_t newHeight) {
    if (!image.HasPixels() || newWidth < 1 || newHeight < 1) return false;
    if (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24) return false;
    try {
        CRawImage out;
        if (image.bitCount == 1) {
            CRawImage gray;
            if (!gray.Create(image.width, image.height, 8, image.xResolution)) return false;
            for (int32_t y = 0; y < image.height; ++y)
                for (int32_t x = 0; x < image.width; ++x)
                    gray.Row(y)[x] = (image.Row(y)[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
            CRawImage small;
            if (!ResampleBytes(gray, 1, newWidth, newHeight, &small)) return false;
            if (!out.Create(newWidth, newHeight, 1, image.xResolution)) return false;
            for (int32_t y = 0; y < newHeight; ++y)
                for (int32_t x = 0; x < newWidth; ++x)
                    if (small.Row(y)[x] < 160) out.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        } else if (!ResampleBytes(image, image.bitCount / 8, newWidth, newHeight, &out)) {
            return false;
        }
        // The new pixels replace the old ones without a copy; resolution and
        // file name stay the image's.
        image.TakePixels(out);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool NormalizeResolution(CRawImage& image, const CNormalizeResolutionInfo& step) {
    if (!image.HasPixels()) return false;
    auto plausible = [](int32_t dpi) { return dpi >= kMinPlausibleDpi && dpi <= kMaxPlausibleDpi; };
    const int32_t fromX = image.xResolution;
    const int32_t fromY = plausible(image.yResolution) ? image.yResolution : fromX;
    if (!plausible(step.dpi) || !plausible(fromX) || !plausible(fromY)) return true;
    const double tol = std::clamp(step.tolerance, 0, 50) / 100.0;
    const double sx = static_cast<double>(step.dpi) / fromX, sy = static_cast<double>(step.dpi) / fromY;
    if (std::fabs(sx - 1) <= tol && std::fabs(sy - 1) <= tol) return true;
    const double nw = std::max(1.0, std::floor(image.width * sx + 0.5));
    const double nh = std::max(1.0, std::floor(image.height * sy + 0.5));
    if (nw > 30000 || nh > 30000 || nw * nh > static_cast<double>(1 << 28)) return true;
    if (!ResampleImage(image, static_cast<int32_t>(nw), static_cast<int32_t>(nh))) return false;
    image.xResolution = image.yResolution = step.dpi;
    return true;
}

}  // namespace libMorvaneClassifier
