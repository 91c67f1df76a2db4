#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "filters/FrameLineDetector.h"
#include "filters/FrameLinePages.h"

using namespace libMorvaneClassifier;
using namespace framelines_test;

namespace {

void Dump(const CFrameLine& det) {
    for (const auto& l : det.Horizontal())
        std::printf("H (%d,%d)-(%d,%d) t=%.2f q=%.3f a=%.4f\n", l.x1, l.y1, l.x2, l.y2, l.thickness, l.quality, l.angle);
    for (const auto& l : det.Vertical())
        std::printf("V (%d,%d)-(%d,%d) t=%.2f q=%.3f a=%.4f\n", l.x1, l.y1, l.x2, l.y2, l.thickness, l.quality, l.angle);
}

TEST(FrameLineDetect, SingleRule) {
    CRawImage page;
    MakePage(page, 800, 300, 1, 300);
    DrawLine(page, nullptr, true, 100, 699, 150, 3);
    CFrameLine det;
    ASSERT_EQ(0, det.Detect(page, 0, 0, 799, 299));
    Dump(det);
    ASSERT_EQ(1u, det.Horizontal().size());
    EXPECT_TRUE(det.Vertical().empty());
}

}  // namespace

namespace {
TEST(FrameLineDetect, FormExplore) {
    for (int dpi : {200, 300}) {
        for (uint32_t v = 0; v < 12; ++v) {
            CRawImage page;
            std::vector<TruthLine> truth;
            MakeForm(page, dpi, v, truth);
            CFrameLine det;
            ASSERT_EQ(0, det.Detect(page, 0, 0, page.width - 1, page.height - 1));
            Score s = Evaluate(truth, det.Horizontal(), det.Vertical(), 3);
            std::printf("dpi %d v %u: truth %d found %d detected %d dup %d spurious %d sizes %d %d %d %d\n", dpi, v, s.truth, s.found, s.detected,
                        s.duplicates, s.spurious, det.HorizontalAlongSize(), det.HorizontalAcrossSize(), det.VerticalAlongSize(), det.VerticalAcrossSize());
            if (v == 5 && dpi == 300) {
                for (auto& t : truth) std::printf("T %c %d-%d @%.1f t%d\n", t.horizontal ? 'H' : 'V', t.from, t.to, t.Centre(), t.thickness);
                Dump(det);
            }
        }
    }
}
}  // namespace
