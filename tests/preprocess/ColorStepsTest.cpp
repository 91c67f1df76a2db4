// The colour-to-gray and gray-to-binary steps applied through the executor,
// and the ColorMatch record.
#include <gtest/gtest.h>

#include <cstring>

#include "image/Dib.h"
#include "preprocess/ColorSteps.h"
#include "preprocess/ImageProcessing.h"
#include "preprocess/ImageProcessingInfo.h"
#include "preprocess/ImageProcessingList.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

CRawImage Colour(int w, int h) {
    CRawImage img;
    img.Create(w, h, 24, 300);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            img.Row(y)[3 * x] = static_cast<uint8_t>(100);         // B
            img.Row(y)[3 * x + 1] = static_cast<uint8_t>(50);      // G
            img.Row(y)[3 * x + 2] = static_cast<uint8_t>(30 + x);  // R
        }
    return img;
}

CRawImage Gray(int w, int h, int (*v)(int, int)) {
    CRawImage img;
    img.Create(w, h, 8, 300);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.Row(y)[x] = static_cast<uint8_t>(v(x, y));
    return img;
}

TEST(ColorToGrayStep, ByPixelFormat) {
    CColorToGrayInfo step;
    step.colorFilter = 12;
    // 24-bit becomes 8-bit of the same size through the chosen formula.
    CRawImage colour = Colour(7, 3);
    ASSERT_TRUE(ApplyImageProcessing(colour, step));
    ASSERT_EQ(colour.bitCount, 8);
    EXPECT_EQ(colour.width, 7);
    EXPECT_EQ(colour.height, 3);
    EXPECT_EQ(colour.Row(0)[0], (300 + 500 - 60) / 10);
    EXPECT_EQ(colour.Row(2)[6], (300 + 500 - 72) / 10);
    // 8-bit stays exactly as it was.
    CRawImage gray = Gray(9, 4, [](int x, int y) { return x * 20 + y; });
    const CRawImage before(gray);
    ASSERT_TRUE(ApplyImageProcessing(gray, step));
    EXPECT_EQ(0, std::memcmp(gray.Bits(), before.Bits(), before.height * before.bytesPerRow));
    // 1-bit becomes 8-bit, black 0 and white 255.
    CRawImage bin;
    bin.Create(10, 2, 1, 300);
    bin.Row(1)[0] = 0x40;  // pixel (1, 1)
    ASSERT_TRUE(ApplyImageProcessing(bin, step));
    ASSERT_EQ(bin.bitCount, 8);
    EXPECT_EQ(bin.Row(1)[1], 0);
    EXPECT_EQ(bin.Row(1)[0], 255);
    EXPECT_EQ(bin.Row(0)[9], 255);
    // No pixels: the step fails.
    CRawImage empty;
    EXPECT_FALSE(ApplyImageProcessing(empty, step));
}

TEST(GrayToBinStep, StripsMethodsAndOtherFormats) {
    CGrayToBinInfo step;
    step.method = 7;
    step.blockNum = 1;
    auto page = [] { return Gray(40, 12, [](int x, int) { return x < 10 ? 20 : 220; }); };
    CRawImage one = page();
    ASSERT_TRUE(ApplyImageProcessing(one, step));
    ASSERT_EQ(one.bitCount, 1);
    EXPECT_EQ(one.Row(5)[0], 0xFF);  // columns 0..7 black
    EXPECT_EQ(one.Row(5)[1], 0xC0);  // columns 8, 9 black
    EXPECT_EQ(one.Row(5)[2], 0x00);
    // A strip count of 0 (an element without "BlockNum") is one strip.
    step.blockNum = 0;
    CRawImage zero = page();
    ASSERT_TRUE(ApplyImageProcessing(zero, step));
    ASSERT_EQ(zero.bitCount, 1);
    EXPECT_EQ(0, std::memcmp(zero.Bits(), one.Bits(), one.height * one.bytesPerRow));
    // Negative strip counts, method 4 and an unknown method give white pages;
    // still success.
    for (auto [blocks, method] : {std::pair{-2, 7}, std::pair{1, 4}, std::pair{3, 99}}) {
        step.blockNum = blocks;
        step.method = method;
        CRawImage img = page();
        ASSERT_TRUE(ApplyImageProcessing(img, step));
        ASSERT_EQ(img.bitCount, 1);
        for (int y = 0; y < img.height; ++y)
            for (int i = 0; i < img.bytesPerRow; ++i) ASSERT_EQ(img.Row(y)[i], 0) << blocks << "/" << method;
    }
    // Colour input is left alone and the step still succeeds.
    CRawImage colour = Colour(5, 5);
    EXPECT_TRUE(ApplyImageProcessing(colour, step));
    EXPECT_EQ(colour.bitCount, 24);
}

TEST(ColourChain, ReadFromXmlAndApplied) {
    CXmlDocument xml;
    ASSERT_TRUE(
        xml.ParseText(u"<Owner><ImageProcessingList Size=\"2\">"
                      u"<ImageProcessing Type=\"1\"><ColorToGray ColorFilter=\"1\"/></ImageProcessing>"
                      u"<ImageProcessing Type=\"2\"><GrayToBin Method=\"7\"/></ImageProcessing>"
                      u"</ImageProcessingList></Owner>"));
    ASSERT_TRUE(xml.FindElement(u"Owner"));
    ASSERT_TRUE(xml.EnterElement());
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(static_cast<const CGrayToBinInfo*>(list.GetItem(1))->blockNum, 0);
    // Red channel: columns with R below the Otsu split turn black.
    CRawImage img;
    img.Create(20, 4, 24, 300);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x) img.Row(y)[3 * x + 2] = static_cast<uint8_t>(x < 5 ? 10 : 240);
    ASSERT_TRUE(ApplyImageProcessingList(img, list));
    ASSERT_EQ(img.bitCount, 1);
    EXPECT_EQ(img.Row(0)[0], 0xF8);
    EXPECT_EQ(img.Row(3)[1], 0x00);
}

TEST(ColorMatchRecord, ReadWriteCopy) {
    struct Case {
        const char16_t* xml;
        bool present;
        int32_t method;
    } cases[] = {
        {u"<P><ColorMatch Method=\"3\"/><After/></P>", true, 3},
        {u"<P><ColorMatch/><After/></P>", true, 0},
        {u"<P><ColorMatch Method=\"-7x\"><Child/></ColorMatch><After/></P>", true, -7},
        {u"<P><Other/><After/></P>", false, 0},
    };
    for (const Case& c : cases) {
        CXmlDocument xml;
        ASSERT_TRUE(xml.ParseText(c.xml));
        ASSERT_TRUE(xml.FindElement(u"P"));
        ASSERT_TRUE(xml.EnterElement());
        auto record = ReadColorMatch(xml);
        EXPECT_EQ(record != nullptr, c.present);
        if (record) {
            EXPECT_EQ(record->method, c.method);
        }
        // Reading leaves the cursor at the parameter element's level.
        EXPECT_TRUE(xml.FindElement(u"After"));
    }
    ColorMatch m;
    m.method = 5;
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<P/>"));
    ASSERT_TRUE(out.FindElement(u"P"));
    ASSERT_TRUE(out.EnterElement());
    ASSERT_TRUE(WriteColorMatch(out, &m));
    ASSERT_TRUE(WriteColorMatch(out, nullptr));
    const std::u16string text = out.Text();
    EXPECT_NE(text.find(u"ColorMatch Method=\"5\""), std::u16string::npos);
    EXPECT_EQ(text.find(u"ColorMatch"), text.rfind(u"ColorMatch"));  // written once
    auto copy = CopyColorMatch(&m);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->method, 5);
    EXPECT_NE(copy.get(), &m);
    EXPECT_EQ(CopyColorMatch(nullptr), nullptr);
}

}  // namespace
}  // namespace libMorvaneClassifier
