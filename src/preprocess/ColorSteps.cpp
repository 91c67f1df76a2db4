#include "preprocess/ColorSteps.h"

#include <new>

#include "image/Dib.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

bool ApplyColorToGrayStep(CRawImage& image, const CColorToGrayInfo& step) {
    if (!image.HasPixels()) return false;
    switch (image.bitCount) {
        case 24: image.TrueColorToGray(nullptr, step.colorFilter); return true;
        case 1: image.BinToGray(nullptr); return true;
        case 8: return true;
        default: return false;
    }
}

bool ApplyGrayToBinStep(CRawImage& image, const CGrayToBinInfo& step) {
    // The strip processor acts on 8-bit images only; a strip count of 0 (an
    // element without "BlockNum") is taken as one strip.
    image.GrayToBinaryBlock(nullptr, step.blockNum, step.method);
    return true;
}

std::unique_ptr<ColorMatch> ReadColorMatch(CXmlDocument& xml) {
    if (!xml.FindElement(u"ColorMatch")) return nullptr;
    std::unique_ptr<ColorMatch> record(new (std::nothrow) ColorMatch);
    if (!record) return nullptr;
    record->method = xml.ReadIntAttribute(u"Method");
    if (xml.EnterElement()) xml.LeaveElement();
    return record;
}

bool WriteColorMatch(CXmlDocument& xml, const ColorMatch* record) {
    if (!record) return true;
    if (!xml.AppendElement(u"ColorMatch") || !xml.WriteAttribute(u"Method", record->method)) return false;
    if (!xml.EnterElement()) return false;
    return xml.LeaveElement();
}

std::unique_ptr<ColorMatch> CopyColorMatch(const ColorMatch* record) {
    if (!record) return nullptr;
    std::unique_ptr<ColorMatch> copy(new (std::nothrow) ColorMatch);
    if (copy) copy->method = record->method;
    return copy;
}

}  // namespace libMorvaneClassifier
