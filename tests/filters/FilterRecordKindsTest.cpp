// The template layer creates filter records only through its maker table;
// the filters layer fills it with the four kinds.
#include <gtest/gtest.h>

#include <memory>

#include "filters/FilterFactory.h"
#include "templates/FilterInfoBase.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

TEST(FilterRecordKinds, RegisteredKindsAndOnlyThoseAreMade) {
    RegisterFilterRecords();
    for (int32_t t : {kFilterTypeSize, kFilterTypeGrid, kFilterTypeFrameLine, kFilterTypeText}) {
        std::unique_ptr<CFilterInfoBase> info = MakeFilterInfo(t);
        ASSERT_TRUE(info) << t;
        EXPECT_EQ(info->type, t);
    }
    for (int32_t t : {-1, 0, 5, kMaxFilterInfoType, kMaxFilterInfoType + 1, 1000})
        EXPECT_EQ(MakeFilterInfo(t), nullptr) << t;
    EXPECT_FALSE(RegisterFilterInfoKind(-1, [] { return CreateFilterInfo(kFilterTypeSize); }));
    EXPECT_FALSE(RegisterFilterInfoKind(kMaxFilterInfoType + 1, [] { return CreateFilterInfo(kFilterTypeSize); }));
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
        u"<FilterInfoList Size=\"1\"><FilterInfo RefFilter=\"3\" Type=\"63\"><Probe/></FilterInfo></FilterInfoList>";
    ASSERT_TRUE(RegisterFilterInfoKind(kProbe, []() -> std::unique_ptr<CFilterInfoBase> {
        return std::make_unique<CProbeInfo>();
    }));
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(text));
    CFilterInfoList list;
    ASSERT_TRUE(list.ReadFilterInfoList(xml));
    ASSERT_EQ(list.count, 1);
    EXPECT_NE(dynamic_cast<CProbeInfo*>(list.Get(0)), nullptr);
    EXPECT_EQ(list.Get(0)->refFilter, 3);
    EXPECT_EQ(list.Get(0)->type, kProbe);

    // Without a maker for the type the list is refused as a whole.
    ASSERT_TRUE(RegisterFilterInfoKind(kProbe, nullptr));
    ASSERT_TRUE(xml.ParseText(text));
    EXPECT_FALSE(list.ReadFilterInfoList(xml));
    EXPECT_EQ(list.count, 0);
}

}  // namespace
}  // namespace libMorvaneClassifier
