// Measuring with the text filter on a page: the rule's region cut out, its
// lines and character pieces located, the pieces merged and recognised (a
// stand-in recogniser here; the engines are tested with the plug-ins), and
// every way measuring can fail.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/ResultCodes.h"
#include "filters/FilterArray.h"
#include "filters/FilterText.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "templates/TemplateTestUtil.h"

namespace libMorvaneClassifier {
namespace {

std::u16string ExamplePath(const std::string& rel) {
    return test::U(std::string(MORVANE_TEST_DIR) + "/../examples/" + rel);
}

// A recogniser answering 'A' for every box up to one character pitch wide
// (30 pixels at 300 dpi), with a distant second candidate, and nothing for
// wider boxes, so that the merge keeps the zone's characters apart.
bool AnswerA(const CRawImage&, const Rect32& box, size_t, RecognitionResult& r) {
    if (box.right - box.left > 32) return false;
    r.candidates[0] = u'A';
    r.candidates[1] = u'B';
    r.scores[0] = 10;
    r.scores[1] = 90;
    return true;
}

class FilterTextPage : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(filters.Load(ExamplePath("templates/text_filters.xml")));
        mrz = dynamic_cast<CFilterText*>(filters.Find(4));
        ASSERT_NE(mrz, nullptr);
        ASSERT_TRUE(imagefile::LoadImageFile(page, ExamplePath("pages/text/300dpi/TEXT-PASSPORT_mrz.png")));
        mrz->recognizer = AnswerA;
    }
    CFilterTextInfo& Rule() { return *dynamic_cast<CFilterTextInfo*>(mrz->rule.get()); }

    CFilterArray filters;
    CFilterText* mrz = nullptr;
    CRawImage page;
};

// The zone of a 300 dpi data page: two lines of 44 characters, placed in the
// lower part of the page, with the filter's settings copied.
TEST_F(FilterTextPage, ZoneLinesOfADataPage) {
    TextFilterTimings times;
    mrz->timings = &times;
    CFilterTextInfo feature;
    ASSERT_EQ(mrz->ExtractFeature(&page, 1, &feature), kSuccess);
    ASSERT_TRUE(feature.textLines);
    ASSERT_EQ(feature.textLines->count, 2);
    for (int32_t i = 0; i < 2; ++i) {
        const CTextLine& line = *feature.textLines->Get(i);
        EXPECT_EQ(line.text, std::u16string(44, u'A')) << i;
        EXPECT_EQ(line.lineResultCount, 44);
        EXPECT_EQ(line.index, i);
        ASSERT_TRUE(line.region);
        // Lines lie in the zone (page y 72 to 83 mm of 88) and span most of
        // the width.
        EXPECT_GT(line.region->top, 8000) << i;
        EXPECT_LT(line.region->bottom, 9600) << i;
        EXPECT_GT(line.region->right - line.region->left, 8000) << i;
        EXPECT_EQ(line.imageWidth, page.width);
    }
    EXPECT_LT(feature.textLines->Get(0)->region->bottom, feature.textLines->Get(1)->region->top);
    EXPECT_EQ(feature.refFilter, 4);
    EXPECT_EQ(feature.method, 3);
    EXPECT_EQ(feature.applicationType, 1);
    EXPECT_EQ(feature.imageWidth, page.width);
    EXPECT_GT(times.location, 0.0);
    EXPECT_GT(times.recognition, 0.0);
}

TEST_F(FilterTextPage, FailuresAreCodesAndLeaveTheFeatureEmpty) {
    CRawImage blank;
    ASSERT_EQ(blank.Create(page.width, page.height, 1, 300), 1);  // all white
    CRawImage none;

    struct Case {
        const char* what;
        std::function<void(FilterTextPage&)> change;
        const CRawImage* image;
        int32_t expected;
    };
    const Case cases[] = {
        {"no pixels", [](FilterTextPage&) {}, &none, kErrInvalidParameter},
        {"no region", [](FilterTextPage& t) { t.Rule().region.reset(); }, &page, kErrInvalidParameter},
        {"no line location", [](FilterTextPage& t) { t.Rule().lineLocation.reset(); }, &page,
         kErrInvalidParameter},
        {"no character property", [](FilterTextPage& t) { t.Rule().charLocation->property.reset(); }, &page,
         kErrInvalidParameter},
        {"no text in the region", [](FilterTextPage&) {}, &blank, kErrAnalyzeTextLine},
        {"characters too wide for the limits",
         [](FilterTextPage& t) {
             t.Rule().charLocation->property->MaxWidth = 1;
             t.Rule().charLocation->property->MinWidth = 1;
         },
         &page, kErrSegmentChars},
        {"engines fail on every box",
         [](FilterTextPage& t) {
             t.mrz->recognizer = [](const CRawImage&, const Rect32&, size_t, RecognitionResult&) {
                 return false;
             };
         },
         &page, kErrMergeChars},
    };
    for (const Case& c : cases) {
        SetUp();
        c.change(*this);
        CFilterTextInfo feature;
        EXPECT_EQ(mrz->ExtractFeature(c.image, 1, &feature), c.expected) << c.what;
        EXPECT_FALSE(feature.textLines) << c.what;
        EXPECT_EQ(feature.refFilter, -1) << c.what;
        EXPECT_EQ(mrz->CreateFeature(c.image, 1), nullptr) << c.what;
    }

    // A feature of another kind is refused.
    CFilterInfoBase* other = filters.Find(1)->rule.get();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(mrz->ExtractFeature(&page, 1, other), kErrInvalidParameter);

    // Without a character-location record the feature stays empty and
    // scores 0 against any reference.
    Rule().charLocation.reset();
    CFilterTextInfo empty;
    EXPECT_EQ(mrz->ExtractFeature(&page, 1, &empty), kSuccess);
    EXPECT_FALSE(empty.textLines);
    CFilterTextInfo reference;
    reference.textLines = std::make_unique<CTextLineList>();
    EXPECT_EQ(empty.Compare(&reference), 0);
}

}  // namespace
}  // namespace libMorvaneClassifier
