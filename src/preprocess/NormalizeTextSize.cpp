#include "preprocess/NormalizeTextSize.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "image/ConnectAnalyzer.h"
#include "imagefile/ImageCodecs.h"
#include "preprocess/NormalizeResolution.h"
#include "preprocess/StepActions.h"
#include "preprocess/ZoneFinder.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CNormalizeTextSizeInfo::CNormalizeTextSizeInfo() : CImageProcessingInfo(kStepNormalizeTextSize) {}

void CNormalizeTextSizeInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"NormalizeTextSize");
    AddParameter(list, u"Height", &height, kParamInteger);
    AddParameter(list, u"Tolerance", &tolerance, kParamInteger);
    AddParameter(list, u"MaxUp", &maxUp, kParamInteger);
    AddParameter(list, u"BinaryMethod", &binaryMethod, kParamInteger);
    AddParameter(list, u"Zone", &zone, kParamInteger);
}

void CNormalizeTextSizeInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CNormalizeTextSizeInfo*>(&other)) {
        height = o->height;
        tolerance = o->tolerance;
        maxUp = o->maxUp;
        binaryMethod = o->binaryMethod;
        zone = o->zone;
    }
}

bool CNormalizeTextSizeInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"NormalizeTextSize")) return false;
    // Absent attributes keep their defaults.
    auto read = [&xml](const char16_t* name, int32_t& field) {
        if (!xml.ReadAttribute(name).empty()) field = xml.ReadIntAttribute(name);
    };
    read(u"Height", height);
    read(u"Tolerance", tolerance);
    read(u"MaxUp", maxUp);
    read(u"BinaryMethod", binaryMethod);
    read(u"Zone", zone);
    return true;
}

bool CNormalizeTextSizeInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"NormalizeTextSize") && xml.WriteAttribute(u"Height", height) &&
           xml.WriteAttribute(u"Tolerance", tolerance) && xml.WriteAttribute(u"MaxUp", maxUp) &&
           (binaryMethod < 0 || xml.WriteAttribute(u"BinaryMethod", binaryMethod)) &&
           (zone == 0 || xml.WriteAttribute(u"Zone", zone));
}

namespace {

constexpr size_t kMaxComponents = 400000;
constexpr int32_t kMeasureMethod = 8;  // against the local background: photos light unevenly

struct Box {
    double cx, cy;
    int32_t h;
};

}  // namespace

int32_t DominantCharHeight(const CRawImage& binary) {
    if (!binary.HasPixels() || binary.bitCount != 1 || binary.width < 8 || binary.height < 8) return 0;
    CConnectAnalyzer analyzer(&binary);
    analyzer.areaRight = binary.width;
    analyzer.areaBottom = binary.height;
    if (!analyzer.Analyze() || analyzer.Components().size() > kMaxComponents) return 0;
    const int32_t hMax = std::max(5, binary.height / 4);
    std::vector<Box> boxes;
    for (const ComponentRecord& c : analyzer.Components()) {
        const int32_t w = c.right - c.left, h = std::max(1, c.bottom - c.top);
        if (h < 4 || h > hMax || w < 1 || w > 2 * h) continue;
        // Solid blocks (photo patches, filled boxes) are no characters.
        if (c.pixelCount > static_cast<int64_t>(w) * h * 9 / 10 && w > 2) continue;
        boxes.push_back(Box{0.5 * (c.left + c.right), c.top + 0.5 * h, h});
    }
    std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.cx < b.cx; });
    // Heights of components with a neighbour of about their height beside
    // them on a line.
    std::vector<int32_t> histogram(static_cast<size_t>(hMax) + 2, 0);
    int32_t counted = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& a = boxes[i];
        bool paired = false;
        for (size_t j = i + 1; j < boxes.size() && !paired; ++j) {
            const Box& b = boxes[j];
            if (b.cx - a.cx > 1.6 * a.h) break;
            const double ratio = static_cast<double>(std::max(a.h, b.h)) / std::min(a.h, b.h);
            paired = ratio <= 1.25 && std::fabs(b.cy - a.cy) <= 0.3 * a.h && b.cx - a.cx >= 0.25 * a.h;
        }
        for (size_t j = i; j-- > 0 && !paired;) {
            const Box& b = boxes[j];
            if (a.cx - b.cx > 1.6 * a.h) break;
            const double ratio = static_cast<double>(std::max(a.h, b.h)) / std::min(a.h, b.h);
            paired = ratio <= 1.25 && std::fabs(b.cy - a.cy) <= 0.3 * a.h && a.cx - b.cx >= 0.25 * a.h;
        }
        if (!paired) continue;
        ++histogram[static_cast<size_t>(a.h)];
        ++counted;
    }
    if (counted < 8) return 0;
    int32_t best = 0, bestCount = -1;
    for (int32_t h = 4; h <= hMax; ++h) {
        const int32_t c = histogram[static_cast<size_t>(h - 1)] + 2 * histogram[static_cast<size_t>(h)] +
                          histogram[static_cast<size_t>(h + 1)];
        if (c > bestCount) {
            bestCount = c;
            best = h;
        }
    }
    return best;
}

bool NormalizeTextSize(CRawImage& image, const CNormalizeTextSizeInfo& step,
                       NormalizeTextSizeResult* result) try {
    if (result) *result = NormalizeTextSizeResult{};
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return false;
    const bool leaveBinary = step.binaryMethod >= 0 && step.binaryMethod <= 8;
    // The binary copy the height is measured on; when it is also the page
    // the step leaves (same pixels, same method), it takes the page's place.
    CRawImage work;
    bool workIsPage = false;
    auto finish = [&]() {
        if (!leaveBinary || image.bitCount != 8) return;
        if (workIsPage && step.binaryMethod == kMeasureMethod && work.HasPixels() && work.bitCount == 1 &&
            work.width == image.width && work.height == image.height) {
            // As a binarisation in place: the pixels and the source's
            // resolution on both axes.
            const int32_t res = work.xResolution;
            image.TakePixels(work);
            image.xResolution = image.yResolution = res;
            return;
        }
        image.GrayToBinaryBlock(nullptr, 1, step.binaryMethod);
    };
    if (step.height < 6 || step.height > 200) {
        finish();
        return true;
    }
    if (image.bitCount == 8) {
        // Binarised straight from the page: no gray copy.
        image.GrayToBinaryBlock(&work, 1, kMeasureMethod);
        workIsPage = true;
    } else if (image.bitCount != 1) {
        work = image;
        if (!work.HasPixels()) return false;
        if (!BinariseInOneStrip(work, kMeasureMethod)) return true;
    }
    // A binary page is measured as it is.
    const CRawImage& binary = image.bitCount == 1 ? image : work;
    if (binary.bitCount != 1) {
        finish();
        return true;
    }
    int32_t measured = DominantCharHeight(binary);
    const double tol = std::clamp(step.tolerance, 0, 50) / 100.0;
    if (step.zone != 0 && measured > 0 && static_cast<double>(step.height) / measured > 1.0 + tol) {
        // About to enlarge: a zone of larger glyphs is what the page is read
        // for, not the smaller print that outnumbers it.
        ZoneFound found;
        if (FindMachineReadableZone(binary, found) && found.charHeight >= 1.5 * measured)
            measured = static_cast<int32_t>(std::lround(found.charHeight));
    }
    if (result) result->charHeight = measured;
    double scale = measured > 0 ? static_cast<double>(step.height) / measured : 1.0;
    if (measured <= 0 || std::fabs(scale - 1.0) <= tol) {
        finish();
        return true;
    }
    scale = std::min(scale, std::clamp(step.maxUp, 100, 400) / 100.0);
    // The page budget: the host's pixel limit, 30000 pixels on a side and
    // 2^28 pixels.
    const double maxPixels =
        std::min<double>(static_cast<double>(imagefile::CurrentPageBudget().maxPixels), 268435456.0);
    const double pixels = static_cast<double>(image.width) * image.height;
    scale = std::min({scale, std::sqrt(maxPixels / pixels), 30000.0 / image.width, 30000.0 / image.height});
    const int32_t w = std::max(1, static_cast<int32_t>(std::lround(image.width * scale)));
    const int32_t h = std::max(1, static_cast<int32_t>(std::lround(image.height * scale)));
    // The budget may leave too little to do.
    if (std::fabs(scale - 1.0) <= tol || (w == image.width && h == image.height)) {
        finish();
        return true;
    }
    workIsPage = false;
    work.Free();
    if (!ResampleImage(image, w, h)) return false;
    if (image.xResolution > 0)
        image.xResolution = static_cast<int32_t>(std::lround(image.xResolution * scale));
    if (image.yResolution > 0)
        image.yResolution = static_cast<int32_t>(std::lround(image.yResolution * scale));
    if (result) result->scale = scale;
    finish();
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

}  // namespace libMorvaneClassifier
