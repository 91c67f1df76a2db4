// The template layer creates filter records only through the kind table its
// loaders receive; the filters layer builds the table of the four kinds.
#include <gtest/gtest.h>

#include <memory>

#include "filters/FilterFactory.h"
#include "templates/FilterInfoBase.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

TEST(FilterRecordKinds, TheFourKindsAndOnlyThoseAreMade) {
    const CFilterKinds& kinds = FilterKinds();
    EXPECT_EQ(&kinds, &FilterKinds());  // built once
    for (int32_t t : {kFilterTypeSize, kFilterTypeGrid, kFilterTypeFrameLine, kFilterTypeText}) {
        EXPECT_TRUE(kinds.Has(t)) << t;
        std::unique_ptr<CFilterInfoBase> info = kinds.Make(t);
        ASSERT_TRUE(info) << t;
        EXPECT_EQ(info->type, t);
    }
    for (int32_t t : {-1, 0, 5, kMaxFilterInfoType, kMaxFilterInfoType + 1, 1000}) {
        EXPECT_FALSE(kinds.Has(t)) << t;
        EXPECT_EQ(kinds.Make(t), nullptr) << t;
    }
    // A type outside the table is not entered; an empty table makes nothing.
    const FilterInfoMaker size = [] { return CreateFilterInfo(kFilterTypeSize); };
    EXPECT_FALSE(CFilterKinds().With(-1, size).Has(-1));
    EXPECT_FALSE(CFilterKinds().With(kMaxFilterInfoType + 1, size).Has(kMaxFilterInfoType + 1));
    EXPECT_EQ(CFilterKinds().Make(kFilterTypeSize), nullptr);
}

// A record kind known only to this test.
class CProbeInfo : public CFilterInfoBase {
public:
    bool ReadXml(CXmlDocument&) override { return true; }
    bool WriteXml(CXmlDocument&) const override { return true; }
    int32_t Compare(CFilterInfoBase*) override { return 0; }
};

TEST(FilterRecordKinds, SubTemplateListsReadWhatTheTableKnows) {
    constexpr int32_t kProbe = kMaxFilterInfoType;
    const char16_t* text =
        u"<FilterInfoList Size=\"1\"><FilterInfo RefFilter=\"3\" "
        u"Type=\"63\"><Probe/></FilterInfo></FilterInfoList>";
    const CFilterKinds withProbe = FilterKinds().With(
        kProbe, []() -> std::unique_ptr<CFilterInfoBase> { return std::make_unique<CProbeInfo>(); });
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(text));
    CFilterInfoList list;
    ASSERT_TRUE(list.ReadFilterInfoList(xml, withProbe));
    ASSERT_EQ(list.count, 1);
    EXPECT_NE(dynamic_cast<CProbeInfo*>(list.Get(0)), nullptr);
    EXPECT_EQ(list.Get(0)->refFilter, 3);
    EXPECT_EQ(list.Get(0)->type, kProbe);

    // Without a maker for the type the list is refused as a whole: the
    // library's own table, and the probe table with the kind removed. The
    // tables are values: entering the probe left the library's unchanged.
    const CFilterKinds probeRemoved = withProbe.With(kProbe, nullptr);
    for (const CFilterKinds* kinds : {&FilterKinds(), &probeRemoved}) {
        ASSERT_TRUE(xml.ParseText(text));
        EXPECT_FALSE(list.ReadFilterInfoList(xml, *kinds));
        EXPECT_EQ(list.count, 0);
    }
}

}  // namespace
}  // namespace libMorvaneClassifier
