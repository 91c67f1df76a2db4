// Numbered debug images written beside the host program (or into a given
// directory).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/DebugImages.h"
#include "imagefile/ImageFile.h"

using namespace libMorvaneClassifier;

namespace {

TEST(DebugImages, AreNumberedFromModeZero) {
    char tmpl[] = "/tmp/morvane_img_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = std::string(tmpl) + "/";
    imagefile::CDebugImages debug(Utf8ToUtf16(dir));
    CRawImage image;
    ASSERT_EQ(image.Create(16, 8, 8, 300), 1);
    EXPECT_TRUE(debug.Save(image, u"A", 0));
    EXPECT_TRUE(debug.Save(image, u"A", 2));
    EXPECT_TRUE(debug.Save(image, u"A", 2));
    EXPECT_TRUE(debug.Save(image, u"sep", 3));
    EXPECT_TRUE(debug.Save(image, u"plain", 7));
    const char* expected[] = {"img/Dbg(1000)_A.jpg", "img/Dbg(1001)_A.jpg", "img/Dbg(1002)_sep.jpg",
                              "img/plain.jpg"};
    for (const char* name : expected) {
        CRawImage back;
        EXPECT_TRUE(imagefile::LoadImageFile(back, Utf8ToUtf16(dir + name))) << name;
    }
    CRawImage separator;
    ASSERT_TRUE(imagefile::LoadImageFile(separator, Utf8ToUtf16(dir + "img/Dbg(1002)_sep.jpg")));
    EXPECT_EQ(separator.width, 500);
    EXPECT_EQ(separator.height, 30);
    std::system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

}  // namespace
