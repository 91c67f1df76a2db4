#include "preprocess/ColorSteps.h"

#include <new>

#include "image/Dib.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

bool ApplyColorToGrayStep(CRawImage& image, const CColorToGrayInfo& step) {
    if (!image.HasPixels()) return false;
    switch (image.bitCount) {
        case 24:
            image.TrueColorToGray(nullptr, step.colorFilter);
            return true;
        case 1:
            image.BinToGray(nullptr);
            return true;
        case 8:
            return true;
        default:
            return false;
    }
}

bool ApplyGrayToBinStep(CRawImage& image, const CGrayToBinInfo& step) {
    // The strip processor acts on 8-bit images only; a strip count of 0 (an
    // element without "BlockNum") is taken as one strip.
    image.GrayToBinaryBlock(nullptr, step.blockNum, step.method);
    return true;
}

bool BinariseInOneStrip(CRawImage& work, int32_t binaryMethod) {
    if (work.bitCount == 24) {
        CColorToGrayInfo gray;
        gray.colorFilter = -1;
        if (!ApplyColorToGrayStep(work, gray)) return false;
    }
    if (work.bitCount == 8) {
        CGrayToBinInfo bin;
        bin.method = binaryMethod;
        bin.blockNum = 1;
        ApplyGrayToBinStep(work, bin);
    }
    return true;
}

const RecordTable<ColorMatch>& ColorMatch::Fields() {
    static const RecordTable<ColorMatch> table{kElement, {IntField(u"Method", &ColorMatch::method)}};
    return table;
}

std::unique_ptr<ColorMatch> ReadColorMatch(CXmlDocument& xml) {
    auto record = std::make_unique<ColorMatch>();
    if (!record->Read(xml)) return nullptr;
    return record;
}

bool WriteColorMatch(CXmlDocument& xml, const ColorMatch* record) { return !record || record->Write(xml); }

std::unique_ptr<ColorMatch> CopyColorMatch(const ColorMatch* record) {
    if (!record) return nullptr;
    auto copy = std::make_unique<ColorMatch>();
    copy->Assign(*record);
    return copy;
}

}  // namespace libMorvaneClassifier
