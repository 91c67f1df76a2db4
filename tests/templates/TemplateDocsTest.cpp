// The template format reference (docs/templates.md) names every element and
// attribute the readers accept: the test walks the records' field tables and
// fails for a name the reference does not mention as `Name`.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/TextConv.h"
#include "devices/DeviceInfo.h"
#include "engines/KernelInfo.h"
#include "filters/FilterBase.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"
#include "filters/FrameLineRecords.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "layout/LocationRecords.h"
#include "preprocess/ColorSteps.h"
#include "preprocess/ImageProcessingInfo.h"
#include "templates/Anchor.h"
#include "templates/FilterConfig.h"
#include "templates/FilterInfoBase.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "templates/TextLine.h"
#include "xml/RecordXml.h"

using namespace libMorvaneClassifier;

namespace {

// Every name a table's reader looks for: the element, the attributes on it
// or on small child elements, and the child elements.
template <class R>
void Collect(const RecordTable<R>& table, const char* record,
             std::set<std::pair<std::string, std::string>>& names) {
    if (table.element) names.insert({Utf16ToUtf8(table.element), record});
    for (const RecordField<R>& f : table.fields) {
        if (!f.inElement || f.kind == FieldKind::kCopied || !f.name) continue;
        names.insert({Utf16ToUtf8(f.name), record});
        if (f.on) names.insert({Utf16ToUtf8(f.on), record});
    }
}

std::string ReadReference() {
    std::ifstream in(std::string(MORVANE_SOURCE_DIR) + "/docs/templates.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TemplateDocs, EveryAttributeTheReadersAcceptIsDocumented) {
    const std::string doc = ReadReference();
    ASSERT_FALSE(doc.empty()) << "docs/templates.md is missing";
    std::set<std::pair<std::string, std::string>> names;
#define COLLECT(R) Collect(R::Fields(), #R, names)
    COLLECT(CMainTemplate);
    COLLECT(CTemplateGroup);
    COLLECT(CFilterConfig);
    COLLECT(CSubTemplate);
    COLLECT(CFilterInfoBase);
    COLLECT(CFilterSizeInfo);
    COLLECT(CFilterGridInfo);
    COLLECT(CFilterFrameLineInfo);
    COLLECT(CFilterTextInfo);
    COLLECT(CFilterBase);
    COLLECT(CLine);
    COLLECT(CFrameLineInfo);
    COLLECT(CFrameLineRule);
    COLLECT(CTextLine);
    COLLECT(CAnchor);
    COLLECT(CRefAnchorInfo);
    COLLECT(CRegion);
    COLLECT(CLineProperty);
    COLLECT(CLineLocationInfo);
    COLLECT(CCharProperty);
    COLLECT(CCharLocationInfo);
    COLLECT(CCharRatio);
    COLLECT(CLineLocationMethod);
    COLLECT(CCharLocationMethod);
    COLLECT(CKernelInfo);
    COLLECT(ColorMatch);
    COLLECT(CColorToGrayInfo);
    COLLECT(CGrayToBinInfo);
    COLLECT(CBlackEdgesErasingInfo);
    COLLECT(CTiltCorrectionInfo);
    COLLECT(CImageCroppingInfo);
    COLLECT(CDeviceInfo);
    COLLECT(CDevScannerInfo);
#undef COLLECT
    ASSERT_GT(names.size(), 50u);
    std::string missing;
    for (const auto& n : names)
        if (doc.find("`" + n.first + "`") == std::string::npos)
            missing += "  " + n.first + " (" + n.second + ")\n";
    EXPECT_TRUE(missing.empty()) << "not in docs/templates.md as `Name`:\n" << missing;
}

}  // namespace
