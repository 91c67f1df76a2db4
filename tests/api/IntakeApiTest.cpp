// MorvaneGetLastErrorDetail, MorvaneGetImagePageCount,
// MorvaneClassifyImageFilePage and MorvaneClassifyEncodedImage through the
// exported interface, on bundled example pages.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ApiTestUtil.h"

namespace {

std::string Text(int (*get)(MorvaneChar*, int*)) {
    int length = 0;
    if (get(nullptr, &length) != -61 || length <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (get(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0) return "<error>";
    return std::string(buffer.begin(), buffer.end() - 1);
}

std::vector<unsigned char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class IntakeApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), 0);
        ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index_), 0);
    }
    void TearDown() override { FreeClassifier(); }
    int index_ = -1;
};

TEST_F(IntakeApi, FailuresLeaveTheirDetailAndSuccessClearsIt) {
    const std::string missing = "/nonexistent/page.png";
    EXPECT_EQ(ClassifyImageFile(W(U(missing.c_str())), index_), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail), missing + ": no such file");
    EXPECT_EQ(LoadLocalImage(W(U("/proc/self/pagemap"))), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail),
              "/proc/self/pagemap: file on a pseudo file system (procfs): its size cannot be trusted");
    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/300dpi/A5_page.jpg";
    EXPECT_EQ(ClassifyImageFile(W(U(page.c_str())), index_), 0);
    int length = -1;
    EXPECT_EQ(MorvaneGetLastErrorDetail(nullptr, &length),
              MORVANE_ERR_INVALID_PARAMETER);  // the length protocol's answer
    EXPECT_EQ(length, 1);                      // the terminator only: no detail
    EXPECT_EQ(MorvaneGetLastErrorDetail(nullptr, nullptr), MORVANE_ERR_INVALID_PARAMETER);
}

TEST_F(IntakeApi, EncodedImagesClassifyLikeTheirFiles) {
    for (const char* name : {"A5_page.jpg", "ID1_card.bmp", "TD3_passport.tif"}) {
        const std::string path = std::string(MORVANE_SOURCE_DIR "/examples/pages/300dpi/") + name;
        ASSERT_EQ(ClassifyImageFile(W(U(path.c_str())), index_), 0) << name;
        const std::string fromFile = Text(GetTemplateID);
        const auto bytes = FileBytes(path);
        ASSERT_FALSE(bytes.empty()) << name;
        ASSERT_EQ(MorvaneClassifyEncodedImage(bytes.data(), static_cast<long long>(bytes.size()), 0, index_),
                  0)
            << name;
        EXPECT_EQ(Text(GetTemplateID), fromFile) << name;
        // Cut to half, the same bytes are refused with their cause.
        EXPECT_EQ(
            MorvaneClassifyEncodedImage(bytes.data(), static_cast<long long>(bytes.size() / 2), 0, index_),
            MORVANE_ERR_READ_IMAGE)
            << name;
        EXPECT_NE(Text(MorvaneGetLastErrorDetail).find("<memory>: truncated"), std::string::npos)
            << name << ": " << Text(MorvaneGetLastErrorDetail);
    }
    const unsigned char text[] = "plain text";
    struct Case {
        const unsigned char* data;
        long long size;
        int page, code;
    } cases[] = {{nullptr, 10, 0, -61}, {text, 0, 0, -61},  {text, -5, 0, -61},
                 {text, 10, -1, -61},   {text, 10, 0, -16}, {text, (1LL << 28) + 1, 0, -16}};
    for (const Case& c : cases)
        EXPECT_EQ(MorvaneClassifyEncodedImage(c.data, c.size, c.page, index_), c.code)
            << c.size << " " << c.page;
}

TEST_F(IntakeApi, PagesOfFiles) {
    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/300dpi/TD3_passport.tif";
    int count = -1;
    EXPECT_EQ(MorvaneGetImagePageCount(W(U(page.c_str())), &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(MorvaneClassifyImageFilePage(W(U(page.c_str())), 0, index_), 0);
    EXPECT_EQ(Text(GetTemplateID), "TD3");
    EXPECT_EQ(MorvaneClassifyImageFilePage(W(U(page.c_str())), 1, index_), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail), page + ": page 2 not in the file");
    EXPECT_EQ(MorvaneClassifyImageFilePage(W(U(page.c_str())), -1, index_), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetImagePageCount(W(U("/nonexistent.tif")), &count), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(MorvaneGetImagePageCount(W(U(page.c_str())), nullptr), MORVANE_ERR_INVALID_PARAMETER);
}

}  // namespace
