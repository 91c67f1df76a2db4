#include "preprocess/StraightenZone.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "image/RotateProcessor.h"
#include "preprocess/StepActions.h"
#include "preprocess/ZoneFinder.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CStraightenZoneInfo::CStraightenZoneInfo() : CImageProcessingInfo(kStepStraightenZone) {}

void CStraightenZoneInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"StraightenZone");
    AddParameter(list, u"MaxAngle", &maxAngle, kParamInteger);
    AddParameter(list, u"Turn", &turn, kParamInteger);
    AddParameter(list, u"BinaryMethod", &binaryMethod, kParamInteger);
}

void CStraightenZoneInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CStraightenZoneInfo*>(&other)) {
        maxAngle = o->maxAngle;
        turn = o->turn;
        binaryMethod = o->binaryMethod;
    }
}

bool CStraightenZoneInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"StraightenZone")) return false;
    // Absent attributes keep their defaults.
    auto read = [&xml](const char16_t* name, int32_t& field) {
        if (!xml.ReadAttribute(name).empty()) field = xml.ReadIntAttribute(name);
    };
    read(u"MaxAngle", maxAngle);
    read(u"Turn", turn);
    read(u"BinaryMethod", binaryMethod);
    return true;
}

bool CStraightenZoneInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"StraightenZone") && xml.WriteAttribute(u"MaxAngle", maxAngle) &&
           xml.WriteAttribute(u"Turn", turn) && xml.WriteAttribute(u"BinaryMethod", binaryMethod);
}

bool StraightenZone(CRawImage& image, const CStraightenZoneInfo& step, StraightenZoneResult* result) try {
    if (result) *result = StraightenZoneResult{};
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return false;
    CRawImage work(image);
    if (!work.HasPixels()) return false;
    if (!BinariseInOneStrip(work, step.binaryMethod)) return true;
    if (work.bitCount != 1) return true;
    ZoneFound zone;
    if (!FindMachineReadableZone(work, zone)) return true;
    if (result) {
        result->found = true;
        result->angle = zone.angle;
    }
    if (zone.opened > 0 && image.bitCount == 1) {
        // The zone showed only without the thin strokes joined to its
        // glyphs: the page goes on without them, so that its characters
        // can be cut apart and read.
        CRawImage opened;
        if (!OpenThinStrokes(image, opened, zone.opened)) return false;
        image.TakePixels(opened);
        if (result) result->opened = zone.opened;
    }
    const double limit = std::clamp(step.maxAngle, 1, 30);
    if (std::fabs(zone.angle) >= 0.25 && std::fabs(zone.angle) <= limit) {
        CRotateProcessor rotate(&image);
        rotate.angle = -zone.angle * 3.14159265358979323846 / 180.0;
        rotate.keepSize = 0;
        rotate.whiteFill = 1;
        rotate.interpolate = image.bitCount == 1 ? 0 : 1;
        if (!rotate.ProcessInPlace()) return false;
    }
    if (step.turn != 0 && zone.upsideDown) {
        CRotateProcessor rotate(&image);
        rotate.mode = 2;
        if (!rotate.ProcessInPlace()) return false;
        if (result) result->turned = true;
    }
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

}  // namespace libMorvaneClassifier
