#include "templates/TextLine.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// The editor lists the text before its character set.
const RecordTable<CTextLine>& CTextLine::Fields() {
    static const RecordTable<CTextLine> table{
        kElement,
        {IntField(u"Index", &CTextLine::index),
         IntField(u"FilterType", &CTextLine::filterType, kParamTextLineFilterType),
         IntField(u"Offset", &CTextLine::offset), IntField(u"IsExist", &CTextLine::isExist, kParamFlag),
         IntField(u"CompareType", &CTextLine::compareType),
         TextField(u"Charset", &CTextLine::charset).Listed(7), TextField(u"Text", &CTextLine::text).Listed(6),
         IntField(u"CharNum", &CTextLine::charNum), IntField(u"ForegroundColor", &CTextLine::foregroundColor),
         IntField(u"BackgroundColor", &CTextLine::backgroundColor),
         ChildField<&CTextLine::region>(CRegion::kElement), CopiedField<&CTextLine::imageWidth>(),
         CopiedField<&CTextLine::imageHeight>(), CopiedField<&CTextLine::lineResults>(),
         CopiedField<&CTextLine::lineResultCount>()}};
    return table;
}

void CTextLine::SetImageSize(int32_t w, int32_t h) {
    imageWidth = w;
    imageHeight = h;
    if (region) region->SetImageSize(w, h);
}

void CTextLine::SetRegion(const CRegion& source) {
    if (region.get() == &source) return;
    auto r = std::make_unique<CRegion>();
    r->Assign(source);
    region = std::move(r);
}

void CTextLine::SetLineResults(const RecognitionResult* records, int32_t n) {
    if (!records || n <= 0) {
        lineResults.clear();
        lineResultCount = 0;
        return;
    }
    lineResults.assign(records, records + n);
    lineResultCount = n;
}

Rect32 CTextLine::RegionRect() const { return region ? region->PixelRect() : Rect32{}; }

int32_t CTextLine::RegionWidth() const { return region ? region->PixelWidth() : 0; }

int32_t CTextLine::RegionHeight() const { return region ? region->PixelHeight() : 0; }

}  // namespace libMorvaneClassifier
