#include <gtest/gtest.h>

#include "api/ApiTestUtil.h"

namespace {

TEST(NotLoaded, EveryIndexedCallAnswersUninitialized) {
    FreeClassifier();
    const std::u16string path = U("/nonexistent/page.png");
    int index = 7;
    EXPECT_EQ(AddMainTemplate(W(path), &index), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(index, 7);
    EXPECT_EQ(SetPixelResolution(300, 300, 0), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(Classify(0), MORVANE_ERR_UNINITIALIZED);
    unsigned char row[4] = {0, 0, 0, 0};
    unsigned char* rows[1] = {row};
    EXPECT_EQ(ClassifyImageMemory(rows, 4, 1, 8, 0), MORVANE_ERR_UNINITIALIZED);
    MorvaneChar buffer[8];
    int n = 8;
    EXPECT_EQ(GetTemplateName(buffer, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(GetTemplateID(buffer, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(GetTemplateOutputID(buffer, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(LoadLocalImage(W(path)), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(SaveCapturedImage(W(path), 0), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(CaptureImage(), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(SetCapturedAttribute(1, 1), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(SetCapturedRange(0, 0, 10, 10), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(IsHavePaper(), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(ClassifyImageFile(W(path), 0), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(ClassifyImageFile(nullptr, 0), MORVANE_ERR_READ_IMAGE);
    int length = 0;
    EXPECT_EQ(GetErrorMsg(0, nullptr, &length), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(length, 8);
}

}  // namespace
