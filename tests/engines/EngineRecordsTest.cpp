#include <gtest/gtest.h>

#include <cstring>

#include "engines/KernelInfo.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

bool Parse(CXmlDocument& xml, const char16_t* text) {
    if (!xml.ParseText(text)) return false;
    return xml.FindElement(u"Root") && xml.EnterElement();
}

}  // namespace

TEST(EngineRecords, ResultRecordIsTheFixed56ByteLayout) {
    RecogResult r{};
    uint8_t bytes[56];
    r.left = 1;
    r.bottom = -4;
    r.candidates[0] = u'A';
    r.candidates[9] = 0x4E2D;
    r.scores[0] = 7;
    r.scores[9] = 0xFFFF;
    std::memcpy(bytes, &r, sizeof r);
    int32_t left, bottom;
    uint16_t c0, c9, s0, s9;
    std::memcpy(&left, bytes, 4);
    std::memcpy(&bottom, bytes + 12, 4);
    std::memcpy(&c0, bytes + 16, 2);
    std::memcpy(&c9, bytes + 34, 2);
    std::memcpy(&s0, bytes + 36, 2);
    std::memcpy(&s9, bytes + 54, 2);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(bottom, -4);
    EXPECT_EQ(c0, u'A');
    EXPECT_EQ(c9, 0x4E2D);
    EXPECT_EQ(s0, 7);
    EXPECT_EQ(s9, 0xFFFF);
    r.candidates[1] = u'B';
    r.candidates[2] = 0xFFFF;
    EXPECT_EQ(RecogCandidateCount(r), 2);
}

TEST(EngineRecords, MissingElementKeepsDefaults) {
    CXmlDocument xml;
    ASSERT_TRUE(Parse(xml, u"<Root><Other/></Root>"));
    CKernelInfo k;
    EXPECT_TRUE(k.Read(xml));
    EXPECT_EQ(k.mainType, 1);
    EXPECT_EQ(k.subType, 7);
    EXPECT_EQ(k.filterType, 1);
    EXPECT_EQ(k.fillingMethod, 0);
    EXPECT_EQ(k.recogType, 2);
    EXPECT_EQ(k.recogImageType, 0);
    EXPECT_FALSE(k.charRatios);
    EXPECT_FALSE(k.preprocessing);
}

TEST(EngineRecords, ReadWriteRoundTripAndDeepCopy) {
    CXmlDocument xml;
    ASSERT_TRUE(
        Parse(xml,
              u"<Root><RecogEngine MainType=\"1\" SubType=\"6\" FilterType=\" 3\" FillingMethod=\"-2\" "
              u"FilterPlus=\"AB&lt;\" RecogType=\"5\" RecogImgeType=\"1x\">"
              u"<ImageProcessingList Size=\"1\"><ImageProcessing Type=\"1\"><ColorToGray ColorFilter=\"0\"/>"
              u"</ImageProcessing></ImageProcessingList>"
              u"<CharRatioList Size=\"2\"><CharRatio CharType=\"10\" WHRatio=\"80\" Charset=\"X\"/>"
              u"</CharRatioList></RecogEngine></Root>"));
    CKernelInfo k;
    ASSERT_TRUE(k.Read(xml));
    EXPECT_EQ(k.subType, 6);
    EXPECT_EQ(k.filterType, 3);
    EXPECT_EQ(k.fillingMethod, -2);
    EXPECT_EQ(k.filterPlus, u"AB<");
    EXPECT_EQ(k.recogType, 5);
    EXPECT_EQ(k.recogImageType, 1);
    ASSERT_TRUE(k.preprocessing);
    EXPECT_EQ(k.preprocessing->GetCount(), 1);
    ASSERT_TRUE(k.charRatios);
    ASSERT_EQ(k.charRatios->Count(), 2);
    EXPECT_EQ(k.charRatios->Get(0)->CharType, 10);
    EXPECT_EQ(k.charRatios->Get(0)->WHRatio, 80);
    EXPECT_EQ(k.charRatios->Get(0)->Charset, u"X");
    // A missing CharRatio child leaves an entry with the defaults.
    ASSERT_NE(k.charRatios->Get(1), nullptr);
    EXPECT_EQ(k.charRatios->Get(1)->CharType, 1);

    CKernelInfo copy(k);
    k.charRatios->Get(0)->Charset = u"changed";
    EXPECT_EQ(copy.charRatios->Get(0)->Charset, u"X");
    EXPECT_EQ(copy.preprocessing->GetCount(), 1);

    CXmlDocument out;
    ASSERT_TRUE(Parse(out, u"<Root/>"));
    ASSERT_TRUE(copy.Write(out));
    const std::u16string text = out.Text();
    const size_t main = text.find(u"MainType=\"1\"");
    const size_t plus = text.find(u"FilterPlus=\"AB&lt;\"");
    const size_t image = text.find(u"RecogImgeType=\"1\"");
    ASSERT_NE(main, std::u16string::npos);
    ASSERT_NE(plus, std::u16string::npos);
    ASSERT_NE(image, std::u16string::npos);
    EXPECT_LT(main, plus);
    EXPECT_LT(plus, image);
    EXPECT_LT(text.find(u"<ImageProcessingList"), text.find(u"<CharRatioList"));

    CXmlDocument again;
    ASSERT_TRUE(again.ParseText(text));
    ASSERT_TRUE(again.FindElement(u"Root") && again.EnterElement());
    CKernelInfo back;
    ASSERT_TRUE(back.Read(again));
    EXPECT_EQ(back.filterPlus, u"AB<");
    EXPECT_EQ(back.fillingMethod, -2);
    ASSERT_TRUE(back.charRatios);
    EXPECT_EQ(back.charRatios->Count(), 2);
    EXPECT_EQ(back.charRatios->Get(0)->Charset, u"X");
}

TEST(EngineRecords, ListsThatFailToReadAreDropped) {
    CXmlDocument xml;
    ASSERT_TRUE(Parse(xml,
                      u"<Root><RecogEngine SubType=\"2\"><ImageProcessingList Size=\"1\">"
                      u"<ImageProcessing Type=\"999\"/></ImageProcessingList>"
                      u"<CharRatioList Size=\"999999999\"/></RecogEngine></Root>"));
    CKernelInfo k;
    EXPECT_TRUE(k.Read(xml));
    EXPECT_EQ(k.subType, 2);
    EXPECT_FALSE(k.preprocessing);
    EXPECT_FALSE(k.charRatios);
}

TEST(EngineRecords, EngineListKeepsDeclaredSlots) {
    CXmlDocument xml;
    ASSERT_TRUE(
        Parse(xml,
              u"<Root><RecogEngineList Size=\"3\"><RecogEngine SubType=\"6\"/><RecogEngine SubType=\"0\"/>"
              u"</RecogEngineList></Root>"));
    CRecogEngineList list;
    ASSERT_TRUE(list.Read(xml));
    EXPECT_EQ(list.Count(), 3);
    ASSERT_NE(list.Get(0), nullptr);
    EXPECT_EQ(list.Get(0)->subType, 6);
    ASSERT_NE(list.Get(1), nullptr);
    EXPECT_EQ(list.Get(1)->subType, 0);
    EXPECT_EQ(list.Get(2), nullptr);
    EXPECT_EQ(list.Get(3), nullptr);

    CRecogEngineList copy;
    copy.Assign(list);
    CXmlDocument out;
    ASSERT_TRUE(Parse(out, u"<Root/>"));
    ASSERT_TRUE(copy.Write(out));
    EXPECT_NE(out.Text().find(u"<RecogEngineList Size=\"3\">"), std::u16string::npos);

    CXmlDocument missing;
    ASSERT_TRUE(Parse(missing, u"<Root/>"));
    EXPECT_FALSE(list.Read(missing));
    EXPECT_EQ(list.Count(), 0);
    // An empty list writes nothing.
    CXmlDocument none;
    ASSERT_TRUE(Parse(none, u"<Root/>"));
    ASSERT_TRUE(list.Write(none));
    EXPECT_EQ(none.Text().find(u"RecogEngineList"), std::u16string::npos);
}
