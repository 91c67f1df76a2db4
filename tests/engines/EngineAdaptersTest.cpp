// The manager and its adapters against small test libraries.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engines/KernelInfo.h"

using namespace libMorvaneClassifier;
using namespace engine_test;

namespace {

class EngineAdapters : public EngineDirFixture {};

CKernelInfo Record(int mainType, int subType, int filterType) {
    CKernelInfo k;
    k.mainType = mainType;
    k.subType = subType;
    k.filterType = filterType;
    return k;
}

}  // namespace

TEST_F(EngineAdapters, SingleCharacterEngineTakesBytes8And72) {
    SetEngineFileName(EngineRole::PrintedChar, FakePath("FakePrintedChar"));
    CRawImage page;
    MakeGray(page, 40, 30, 200);
    CKernelInfo k = Record(1, 2, 0);
    RecogResult r;
    ASSERT_EQ(RecognizeRegion(page, 5, 6, 25, 26, k, r), 0);
    EXPECT_EQ(k.initialised, 1);
    EXPECT_EQ(r.candidates[0], u'Q');
    EXPECT_EQ(r.scores[0], 1234);
    EXPECT_EQ(r.candidates[1], 0);  // only byte 8 is a candidate
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.right, 25);
    EXPECT_EQ(r.bottom, 26);
    // The engine sees the cropped image's own region.
    EXPECT_EQ(FakeValue("FakePrintedChar", 0), 0);
    EXPECT_EQ(FakeValue("FakePrintedChar", 2), 20);
    EXPECT_EQ(FakeValue("FakePrintedChar", 3), 20);
}

TEST_F(EngineAdapters, GrayChineseEngineDispatchesOnFilterTypeAndConvertsGbk) {
    SetEngineFileName(EngineRole::GrayChinese, FakePath("FakeGrayChinese"));
    CRawImage page;
    MakeGray(page, 50, 40, 128);
    struct Case {
        int filter;
        int which;
        int first, last;
    } cases[] = {{0, 1, 0, 4408}, {1, 1, 4399, 4408}, {2, 2, -1, -1}, {3, 3, -1, -1}, {4, 4, -1, -1}};
    CKernelInfo k = Record(1, 8, 0);
    for (const Case& c : cases) {
        k.filterType = c.filter;
        RecogResult r;
        ASSERT_EQ(RecognizeRegion(page, 10, 0, 40, 20, k, r), 0) << c.filter;
        EXPECT_EQ(FakeValue("FakeGrayChinese", 3), c.which) << c.filter;
        if (c.first >= 0) {
            EXPECT_EQ(FakeValue("FakeGrayChinese", 10), c.first);
            EXPECT_EQ(FakeValue("FakeGrayChinese", 11), c.last);
        }
        EXPECT_EQ(r.candidates[0], 0x554A);
        EXPECT_EQ(r.candidates[1], 0x4E2D);
        EXPECT_EQ(r.candidates[2], u'7');
        EXPECT_EQ(r.scores[0], 100);
        EXPECT_EQ(r.scores[8], 108);
        EXPECT_EQ(FakeValue("FakeGrayChinese", 8), 30);  // width
        EXPECT_EQ(FakeValue("FakeGrayChinese", 9), 20);  // height
    }
    EXPECT_EQ(FakeValue("FakeGrayChinese", 0), 0);
    EXPECT_EQ(FakeValue("FakeGrayChinese", 2), 1);  // LoadGrayChineseLibrary(0, 0, 1)
    k.filterType = 5;
    RecogResult r;
    EXPECT_EQ(RecognizeRegion(page, 10, 0, 40, 20, k, r), 1);
}

TEST_F(EngineAdapters, GrayFamilyCutsTo255ColumnsAndChoosesRanges) {
    SetEngineFileName(EngineRole::GrayCore, FakePath("FakeGrayCore"));
    WriteFile("grayocr_pspt.lib", "fake passport");
    WriteFile("grayocr_lp.lib", "fake plates");
    WriteFile("grayocr_num_char.lib", "fake digits");
    WriteFile("grayocr_general.lib", "fake general");
    WriteFile("grayocr_driver_license.lib", "fake licence");
    CRawImage page;
    MakeGray(page, 400, 300, 1);
    for (int y = 0; y < 300; ++y) page.Row(y)[0] = 9;

    CKernelInfo pspt = Record(1, 6, 0);
    RecogResult r;
    ASSERT_EQ(RecognizeRegion(page, 0, 0, 400, 300, pspt, r), 0);
    EXPECT_EQ(FakeValue("FakeGrayCore", 0), 20000);
    EXPECT_EQ(FakeValue("FakeGrayCore", 1), 13);      // the whole file, zero-terminated
    EXPECT_EQ(FakeValue("FakeGrayCore", 3), 0xFFFF);  // passport: always every class
    EXPECT_EQ(FakeValue("FakeGrayCore", 4), 255);
    EXPECT_EQ(FakeValue("FakeGrayCore", 5), 255);
    EXPECT_EQ(FakeValue("FakeGrayCore", 6), 255 * 255 + 255 * 8);  // packed rows, column 0 = 9
    EXPECT_EQ(r.candidates[0], u'X');
    EXPECT_EQ(r.scores[1], 50);
    EXPECT_EQ(r.right, 400);

    struct Case {
        int subType;
        int filter;
        int expectRange;  // 0: the call fails
    } cases[] = {{10, 8, 0}, {10, 12, 12}, {11, 4, 0}, {11, 6, 6}, {9, 3, 3},
                 {9, 8, 0},  {7, 0, 0},    {7, -3, 0}, {7, 40, 40}};
    for (const Case& c : cases) {
        CKernelInfo k = Record(1, c.subType, c.filter);
        const int result = RecognizeRegion(page, 0, 0, 10, 10, k, r);
        if (c.expectRange == 0) {
            EXPECT_EQ(result, 1) << c.subType << " " << c.filter;
        } else {
            EXPECT_EQ(result, 0) << c.subType << " " << c.filter;
            EXPECT_EQ(FakeValue("FakeGrayCore", 3), c.expectRange);
        }
    }
}

TEST_F(EngineAdapters, OneBitImageReachesTheGrayFamilyAsBytes) {
    SetEngineFileName(EngineRole::GrayCore, FakePath("FakeGrayCore"));
    WriteFile("grayocr_pspt.lib", "fake");
    CRawImage page;
    ASSERT_EQ(page.Create(16, 4, 1, 300), 1);
    for (int y = 0; y < 4; ++y) page.Row(y)[0] = 0x80;  // first pixel of each row black, rest white
    CKernelInfo k = Record(1, 6, 0);
    RecogResult r;
    ASSERT_EQ(RecognizeRegion(page, 0, 0, 16, 4, k, r), 0);
    EXPECT_EQ(FakeValue("FakeGrayCore", 5), 16);
    EXPECT_EQ(FakeValue("FakeGrayCore", 7), 0);    // black
    EXPECT_EQ(FakeValue("FakeGrayCore", 8), 255);  // white
    EXPECT_EQ(FakeValue("FakeGrayCore", 6), 4 * 15 * 255);
}

TEST_F(EngineAdapters, StartFailuresGiveOneAndAreRetried) {
    CRawImage page;
    MakeGray(page, 20, 20, 100);
    RecogResult r;
    WriteFile("libNotElf.so", "this is text, not a shared object");
    WriteFile("grayocr_pspt.lib", "fake");
    WriteFile("grayocr_lp.lib", "");

    struct Case {
        const char* what;
        EngineRole role;
        std::string library;
        int subType;
    } cases[] = {
        {"missing library", EngineRole::GrayCore, "NoSuchEngine.dll", 6},
        {"not a shared object", EngineRole::GrayCore, "NotElf.dll", 6},
        {"missing function", EngineRole::GrayCore, FakePath("FakeGrayCoreNoRange"), 6},
        {"empty data file", EngineRole::GrayCore, FakePath("FakeGrayCore"), 10},
        {"missing data file", EngineRole::GrayCore, FakePath("FakeGrayCore"), 11},
        {"line engine missing", EngineRole::PrintedLine, "NoSuchEngine.dll", 0},
        {"single character engine missing", EngineRole::PrintedChar, "NoSuchEngine.dll", 2},
        {"gray Chinese engine missing", EngineRole::GrayChinese, "NoSuchEngine.dll", 8},
        {"handwriting engine missing", EngineRole::Handwriting, "NoSuchEngine.dll", 3},
    };
    for (const Case& c : cases) {
        ResetGeneralRecog();
        SetEngineFileName(c.role, c.library);
        CKernelInfo k = Record(1, c.subType, 1);
        EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, k, r), 1) << c.what;
        EXPECT_EQ(k.initialised, 0) << c.what;
        EXPECT_EQ(GeneralRecog().StartStatus(c.subType), 1) << c.what;
        SetEngineFileName(c.role, std::string());
    }
    // A failed start is retried: the same record starts once the library is there.
    ResetGeneralRecog();
    SetEngineFileName(EngineRole::GrayCore, "NoSuchEngine.dll");
    CKernelInfo k = Record(1, 6, 1);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, k, r), 1);
    SetEngineFileName(EngineRole::GrayCore, FakePath("FakeGrayCore"));
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, k, r), 0);
    EXPECT_EQ(GeneralRecog().StartStatus(6), 0);
    // Other main types and sub types outside the table.
    CKernelInfo bad = Record(7, 6, 1);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, bad, r), 1);
    CKernelInfo badSub = Record(1, 12, 1);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, badSub, r), 1);
}

TEST_F(EngineAdapters, StartedOnlyEnginesRecogniseNothing) {
    SetEngineFileName(EngineRole::Handwriting, FakePath("FakeHand"));
    SetEngineFileName(EngineRole::HandDigit, FakePath("FakeHand"));
    SetEngineFileName(EngineRole::FormKernel, FakePath("FakeForm"));
    CRawImage page;
    MakeGray(page, 20, 20, 100);
    RecogResult r;
    CKernelInfo hand = Record(1, 3, 0);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, hand, r), 1);
    EXPECT_EQ(hand.initialised, 1);
    EXPECT_EQ(GeneralRecog().StartStatus(3), 0);
    EXPECT_EQ(FakeValue("FakeHand", 1), 4);  // RecogStart(0, 4, 0)
    CKernelInfo digits = Record(1, 4, 0);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, digits, r), 1);
    EXPECT_EQ(FakeValue("FakeHand", 1), 16);  // RecogStart(0, 16, 1)
    EXPECT_EQ(FakeValue("FakeHand", 2), 1);
    EXPECT_EQ(FakeValue("FakeHand", 5), 0);  // never asked to recognise

    // Main type 2: started (frInit's 312324 counts as ready), handed the
    // filter plus string, but nothing is recognised.
    CKernelInfo form = Record(2, 0, 0);
    form.filterPlus = u"0123";
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, form, r), 1);
    EXPECT_EQ(form.initialised, 1);
    EXPECT_EQ(FakeValue("FakeForm", 0), 4);
    EXPECT_EQ(FakeValue("FakeForm", 1), u'0');
    // Main type 3 without its libraries: the start fails.
    CKernelInfo barcode = Record(3, 0, 0);
    EXPECT_EQ(RecognizeRegion(page, 0, 0, 10, 10, barcode, r), 1);
    EXPECT_EQ(barcode.initialised, 0);
}

TEST_F(EngineAdapters, BadRectanglesAndImagesFailWithoutStarting) {
    SetEngineFileName(EngineRole::GrayCore, FakePath("FakeGrayCore"));
    WriteFile("grayocr_pspt.lib", "fake");
    CRawImage page;
    MakeGray(page, 30, 30, 100);
    CRawImage empty;
    RecogResult r;
    CKernelInfo k = Record(1, 6, 0);
    EXPECT_EQ(RecognizeRegion(empty, 0, 0, 10, 10, k, r), 1);
    EXPECT_EQ(k.initialised, 0);
    const int rects[][4] = {{5, 5, 5, 10}, {5, 5, 10, 5}, {10, 5, 5, 10}, {5, 10, 10, 5}};
    for (const auto& q : rects) EXPECT_EQ(RecognizeRegion(page, q[0], q[1], q[2], q[3], k, r), 1);
    EXPECT_EQ(k.initialised, 0);
    // Outside the image: nothing left after the crop.
    EXPECT_EQ(RecognizeRegion(page, 40, 40, 50, 50, k, r), 1);
    EXPECT_EQ(RecognizeRegion(page, -20, -20, -5, -5, k, r), 1);
    // Partly outside: the part inside is recognised, the page rectangle kept.
    EXPECT_EQ(RecognizeRegion(page, 20, 20, 50, 50, k, r), 0);
    EXPECT_EQ(FakeValue("FakeGrayCore", 5), 10);
    EXPECT_EQ(r.right, 50);
    // 1 x 1.
    EXPECT_EQ(RecognizeRegion(page, 3, 3, 4, 4, k, r), 0);
    EXPECT_EQ(FakeValue("FakeGrayCore", 4), 1);
    EXPECT_EQ(FakeValue("FakeGrayCore", 5), 1);
}
