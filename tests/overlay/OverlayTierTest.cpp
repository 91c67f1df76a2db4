// The page overlay is the same picture at every vector tier: a bundled form
// is classified and drawn with each tier the processor offers, and the
// pixels are compared with the scalar tier's byte for byte. The picture must
// also show what was measured: the form's ruled lines matched in green.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/MainTemplateEntry.h"
#include "api/Overlay.h"
#include "api/RecognisedText.h"
#include "core/TextConv.h"
#include "image/simd/SimdKernels.h"
#include "imagefile/ImageFile.h"
#include "templates/SubTemplate.h"

using namespace libMorvaneClassifier;

namespace {

std::vector<uint8_t> Pixels(const CRawImage& img) {
    std::vector<uint8_t> out;
    for (int y = 0; y < img.height; ++y) out.insert(out.end(), img.rows[y], img.rows[y] + img.width * 3);
    return out;
}

// Classifies the page and draws its overlay at the active tier.
CRawImage Draw(const std::string& page, std::string& id) {
    CMainTemplateEntry entry;
    EXPECT_EQ(entry.Load(Utf8ToUtf16(std::string(MORVANE_SOURCE_DIR) + "/examples/templates/main.xml")), 0);
    entry.SetResolution(200, 200);
    CRawImage image;
    EXPECT_TRUE(imagefile::LoadImageFile(image, Utf8ToUtf16(page)));
    CSubTemplate* result = nullptr;
    EXPECT_EQ(entry.FindSubTemplate(image, result), 0);
    id = result ? Utf16ToUtf8(result->id) : "";
    CRawImage out;
    EXPECT_TRUE(RenderOverlay(image, entry, entry.trace,
                              GatherRecognisedLines(entry.walk, entry.trace, entry.filters.get()), out));
    return out;
}

TEST(OverlayTiers, SamePictureAtEveryTier) {
    const std::string page = std::string(MORVANE_SOURCE_DIR) + "/examples/pages/200dpi/FORM-T100_table.tif";
    const simd::Tier before = simd::ActiveTier();
    simd::SetTier(simd::Tier::kScalar);
    std::string id;
    const CRawImage scalar = Draw(page, id);
    ASSERT_EQ(id, "FORM-T100");
    ASSERT_TRUE(scalar.HasPixels());
    ASSERT_EQ(scalar.bitCount, 24);
    // The table's lines were matched: plenty of pure green pixels.
    size_t green = 0;
    for (int y = 0; y < scalar.height; ++y)
        for (int x = 0; x < scalar.width; ++x) {
            const uint8_t* p = scalar.rows[y] + x * 3;
            green += p[0] == 40 && p[1] == 160 && p[2] == 20;
        }
    EXPECT_GT(green, 2000u);
    const std::vector<uint8_t> reference = Pixels(scalar);
    int compared = 0;
    for (simd::Tier t : {simd::Tier::kSse2, simd::Tier::kAvx2}) {
        if (simd::SetTier(t) != t) {
            std::printf("tier %s not offered by this processor\n", simd::TierName(t));
            continue;
        }
        const CRawImage other = Draw(page, id);
        EXPECT_EQ(id, "FORM-T100") << simd::TierName(t);
        EXPECT_EQ(other.width, scalar.width) << simd::TierName(t);
        EXPECT_EQ(other.height, scalar.height) << simd::TierName(t);
        EXPECT_TRUE(Pixels(other) == reference) << "the overlay differs at tier " << simd::TierName(t);
        ++compared;
    }
    simd::SetTier(before);
    EXPECT_GT(compared, 0) << "no vector tier to compare with";
}

}  // namespace
