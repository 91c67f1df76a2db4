// The page overlay is the same picture at every vector tier: a bundled form
// is classified and drawn with each tier the processor offers, and the
// pixels are compared with the scalar tier's byte for byte. The picture must
// also show what was measured: the form's ruled lines matched in green, and on
// a text page the box of every character read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api/MainTemplateEntry.h"
#include "api/Overlay.h"
#include "api/RecognisedText.h"
#include "core/TextConv.h"
#include "engines/GeneralRecog.h"
#include "image/simd/SimdKernels.h"
#include "imagefile/ImageFile.h"
#include "platform/DynamicLibrary.h"
#include "templates/SubTemplate.h"

using namespace libMorvaneClassifier;

namespace {

std::vector<uint8_t> Pixels(const CRawImage& img) {
    std::vector<uint8_t> out;
    for (int y = 0; y < img.height; ++y) out.insert(out.end(), img.Row(y), img.Row(y) + img.width * 3);
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
            const uint8_t* p = scalar.Row(y) + x * 3;
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

#ifdef MORVANE_ENGINE_BUILD_DIR
constexpr bool kHaveEngines = true;
const char* const kEngineBuildDir = MORVANE_ENGINE_BUILD_DIR;
#else
constexpr bool kHaveEngines = false;
const char* const kEngineBuildDir = "";
#endif

// A passport page read by the bundled text templates: every recognised line
// carries one box per character read, inside the line's box, and the overlay
// draws each box's edge in the character colour at the box's place.
TEST(OverlayText, CharacterBoxesOfATextPage) {
    if (!kHaveEngines) GTEST_SKIP() << "engine plug-ins are not built (MORVANE_BUILD_ENGINES=OFF)";
    const std::string saved = EngineDirectory();
    EngineDirectory() = std::string(kEngineBuildDir) + "/";
    ResetGeneralRecog();
    CMainTemplateEntry entry;
    ASSERT_EQ(entry.Load(Utf8ToUtf16(std::string(MORVANE_SOURCE_DIR) + "/examples/templates/text.xml")), 0);
    entry.SetResolution(300, 300);
    CRawImage image;
    ASSERT_TRUE(imagefile::LoadImageFile(
        image,
        Utf8ToUtf16(std::string(MORVANE_SOURCE_DIR) + "/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png")));
    CSubTemplate* result = nullptr;
    const int32_t code = entry.FindSubTemplate(image, result);
    const std::vector<RecognisedLine> lines =
        GatherRecognisedLines(entry.walk, entry.trace, entry.filters.get());
    CRawImage out;
    const bool drawn = RenderOverlay(image, entry, entry.trace, lines, out);
    EngineDirectory() = saved;
    ResetGeneralRecog();
    ASSERT_EQ(code, 0);
    ASSERT_TRUE(drawn);
    ASSERT_FALSE(lines.empty());
    size_t boxes = 0;
    for (const RecognisedLine& l : lines) {
        SCOPED_TRACE(Utf16ToUtf8(l.text));
        // One box per character of the text, each within its line's box
        // (a pixel of slack for the scaling to the handed-in page).
        EXPECT_EQ(l.charBoxes.size(), l.text.size());
        for (const RecognisedLine::CharBox& b : l.charBoxes) {
            EXPECT_GT(b.w, 0);
            EXPECT_GT(b.h, 0);
            EXPECT_GE(b.x, l.x - 1);
            EXPECT_GE(b.y, l.y - 1);
            EXPECT_LE(b.x + b.w, l.x + l.w + 1);
            EXPECT_LE(b.y + b.h, l.y + l.h + 1);
        }
        boxes += l.charBoxes.size();
    }
    EXPECT_GE(boxes, 60u) << "the two zone lines hold 88 characters";
    // The page is drawn at 1/scale of its size (the preprocessing keeps the
    // size); the left edge of every character box is teal at its middle row.
    const int scale =
        std::max(1, (std::max(image.width, image.height) + kOverlayMaxSide - 1) / kOverlayMaxSide);
    const int w = std::max(1, image.width / scale), h = std::max(1, image.height / scale);
    ASSERT_GE(out.height, h);
    size_t onEdge = 0, checked = 0;
    for (const RecognisedLine& l : lines)
        for (const RecognisedLine::CharBox& b : l.charBoxes) {
            const int x = static_cast<int>(int64_t{b.x} * w / image.width);
            const int y0 = static_cast<int>(int64_t{b.y} * h / image.height);
            const int y1 = static_cast<int>(int64_t{b.y + b.h} * h / image.height);
            const int y = (y0 + y1) / 2;
            if (x < 0 || x >= w || y < 0 || y >= h) continue;
            const uint8_t* p = out.Row(y) + x * 3;
            ++checked;
            onEdge += p[0] == 150 && p[1] == 140 && p[2] == 0;
        }
    ASSERT_GT(checked, 0u);
    // A neighbouring box's edge may be drawn over a shared column.
    EXPECT_GE(onEdge * 10, checked * 9) << onEdge << " of " << checked << " box edges drawn";
}

}  // namespace
