#include "layout/ZoneAnalyzer.h"

#include <algorithm>
#include <cmath>

#include "layout/LineLocation.h"
#include "preprocess/ZoneFinder.h"

namespace libMorvaneClassifier {

bool CZoneLineAnalyzer::LocateLines(const CRawImage& image, const CLineProperty&,
                                    const CLineLocationInfo& range, TextBoxList& lines) {
    if (!layout_detail::IsBinary(image)) return false;
    layout_detail::RangeFrame f;
    if (!layout_detail::ComputeRangeFrame(image.width, image.height, range, f)) return false;
    CRawImage area;
    if (!layout_detail::CropInto(image, area, f.left, f.top, f.right, f.bottom)) return false;
    ZoneFound zone;
    if (!FindMachineReadableZone(area, zone)) return false;
    lines.clear();
    for (size_t i = 0; i < zone.lines.size(); ++i) {
        const ZoneLine& l = zone.lines[i];
        const int32_t padX = std::max(1, static_cast<int32_t>(std::lround(0.25 * l.pitch)));
        int32_t padY = std::max(1, static_cast<int32_t>(std::lround(l.height / 6.0)));
        TextBox b;
        b.left = std::max(0, l.left - padX) + f.left;
        b.right = std::min(area.width, l.right + padX) + f.left;
        int32_t top = l.top - padY, bottom = l.bottom + padY;
        // Never into the neighbouring lines.
        if (i > 0) top = std::max(top, (zone.lines[i - 1].bottom + l.top) / 2);
        if (i + 1 < zone.lines.size()) bottom = std::min(bottom, (l.bottom + zone.lines[i + 1].top + 1) / 2);
        b.top = std::max(0, top) + f.top;
        b.bottom = std::min(area.height, bottom) + f.top;
        lines.push_back(b);
    }
    return !lines.empty();
}

bool CZoneLineAnalyzer::LocateChars(const CRawImage&, const CCharProperty&, TextBoxList&) { return false; }

}  // namespace libMorvaneClassifier
