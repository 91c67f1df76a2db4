#include <gtest/gtest.h>

#include "api/ApiTestUtil.h"

namespace {

TEST(NotLoaded, EveryIndexedCallAnswersUninitialized) {
    FreeClassifier();
    const std::u16string path = U("/nonexistent/page.png");
    int index = 7;
    EXPECT_EQ(AddMainTemplate(W(path), &index), -60);
    EXPECT_EQ(index, 7);
    EXPECT_EQ(SetPixelResolution(300, 300, 0), -60);
    EXPECT_EQ(Classify(0), -60);
    unsigned char row[4] = {0, 0, 0, 0};
    unsigned char* rows[1] = {row};
    EXPECT_EQ(ClassifyImageMemory(rows, 4, 1, 8, 0), -60);
    MorvaneChar buffer[8];
    int n = 8;
    EXPECT_EQ(GetTemplateName(buffer, &n), -60);
    EXPECT_EQ(GetTemplateID(buffer, &n), -60);
    EXPECT_EQ(GetTemplateOutputID(buffer, &n), -60);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(LoadLocalImage(W(path)), -60);
    EXPECT_EQ(SaveCapturedImage(W(path), 0), -60);
    EXPECT_EQ(CaptureImage(), -60);
    EXPECT_EQ(SetCapturedAttribute(1, 1), -60);
    EXPECT_EQ(SetCapturedRange(0, 0, 10, 10), -60);
    EXPECT_EQ(IsHavePaper(), -60);
    EXPECT_EQ(ClassifyImageFile(W(path), 0), -16);
    EXPECT_EQ(ClassifyImageFile(nullptr, 0), -16);
    int length = 0;
    EXPECT_EQ(GetErrorMsg(0, nullptr, &length), -61);
    EXPECT_EQ(length, 8);
}

}  // namespace
