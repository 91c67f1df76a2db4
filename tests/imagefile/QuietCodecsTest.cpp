// Broken files of every format fail without a word on the host's standard
// output or standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImageFileTestUtil.h"
#include "SharedData.h"
#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageFile.h"
#include "morvane/classifier.h"

using namespace imagefile_test;

namespace {

TEST(QuietCodecs, BrokenFilesFailSilently) {
    // Valid files of each format, then damaged copies of them.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> broken;
    for (const char* suffix : {"bmp", "tif", "png", "gif", "jpg", "jpeg", "j2k"}) {
        CRawImage page;
        MakePage(page, 64, 40, 8);
        const std::string path = TempPath(std::string("quiet_src.") + suffix);
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path),
                                             std::string(suffix) == "tif" ? MakeSaveOption(1, 2) : 0))
            << suffix;
        const auto bytes = ReadBytes(path);
        ASSERT_GT(bytes.size(), 40u);
        auto cut = bytes;
        cut.resize(bytes.size() * 2 / 3);
        broken.push_back({std::string("quiet_cut.") + suffix, cut});
        auto scrambled = bytes;
        for (size_t i = 20; i < scrambled.size(); i += 7)
            scrambled[i] = static_cast<uint8_t>(scrambled[i] * 31 + 17);
        broken.push_back({std::string("quiet_scrambled.") + suffix, scrambled});
    }
    // A PngSuite file with a bad checksum joins when the corpus is present.
    const auto badCrc = ReadBytes(morvane_test::SharedPath("testdata/pngsuite/png/xcsn0g01.png"));
    if (!badCrc.empty()) broken.push_back({"quiet_png.png", badCrc});

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int cuts = 0, cutFailures = 0;
    bool badCrcRefused = false;
    for (const auto& [name, bytes] : broken) {
        ASSERT_TRUE(WriteBytes(TempPath(name), bytes));
        CRawImage img;
        const bool refused = !imagefile::LoadImageFile(img, U16(TempPath(name)));
        if (name.rfind("quiet_cut.", 0) == 0) {
            ++cuts;
            cutFailures += refused ? 1 : 0;
        } else if (name == "quiet_png.png") {
            badCrcRefused = refused;
        }
        std::vector<uint8_t> copy = bytes;
        j2k_image_t* records = nullptr;
        j2k_cp_t* cp = nullptr;
        j2k_decode(copy.data(), static_cast<int>(copy.size()), &records, &cp);
        j2k_destroy(&records, &cp);
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    // Every cut file fails, and so does the file with the bad checksum;
    // scrambled ones may survive when only pixel data was hit.
    EXPECT_EQ(cuts, 7);
    EXPECT_EQ(cutFailures, cuts);
    if (!badCrc.empty()) {
        EXPECT_TRUE(badCrcRefused);
    }
}

}  // namespace
