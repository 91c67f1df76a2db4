// Geometry of anchors, reference anchors, regions and text lines.
#include <gtest/gtest.h>

#include "templates/Anchor.h"
#include "templates/SubTemplate.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {
namespace {

CAnchor MakeAnchor(int32_t id, int32_t type, int32_t w, int32_t h) {
    CAnchor a;
    a.id = id;
    a.type = type;
    a.SetImageSize(w, h);
    return a;
}

TEST(AnchorGeometry, LocateThenPixelPositionOnAnotherSize) {
    CAnchor a = MakeAnchor(1, 1, 2000, 1000);
    ASSERT_TRUE(a.Locate(500, 77));
    EXPECT_EQ(a.position, 2500);
    EXPECT_TRUE(a.valid);
    a.SetImageSize(1000, 500);
    EXPECT_EQ(a.PixelPosition(), 250);

    CAnchor v = MakeAnchor(2, 2, 2000, 1000);
    ASSERT_TRUE(v.Locate(500, 250));
    EXPECT_EQ(v.position, 2500);
    v.SetImageSize(1000, 500);
    EXPECT_EQ(v.PixelPosition(), 125);
}

TEST(AnchorGeometry, LocateRules) {
    CAnchor a = MakeAnchor(1, 1, 2000, 1000);
    ASSERT_TRUE(a.Locate(500, 0));
    ASSERT_TRUE(a.Locate(1500, 0));  // already valid: keeps the old position
    EXPECT_EQ(a.position, 2500);

    CAnchor noSize = MakeAnchor(1, 1, 0, 1000);
    EXPECT_FALSE(noSize.Locate(10, 10));
    EXPECT_FALSE(noSize.valid);

    CAnchor odd = MakeAnchor(1, 3, 100, 100);
    odd.position = 42;
    EXPECT_TRUE(odd.Locate(10, 10));  // other types: position unchanged, but valid
    EXPECT_EQ(odd.position, 42);
    EXPECT_TRUE(odd.valid);
    EXPECT_EQ(odd.PixelPosition(), 0);

    // Large pixel coordinates do not overflow the conversion.
    CAnchor big = MakeAnchor(1, 1, 400000, 400000);
    ASSERT_TRUE(big.Locate(300000, 0));
    EXPECT_EQ(big.position, 7500);
}

TEST(AnchorGeometry, CopyPositionFrom) {
    struct Case {
        const char* what;
        int32_t srcValid, srcType, srcW, dstValid, dstType;
        bool result;
        bool dstValidAfter;
        int32_t dstPosition;
        int32_t dstWidth;
    };
    const Case cases[] = {
        {"source not valid", 0, 1, 800, 0, 1, false, false, 0, 0},
        {"target already valid", 1, 1, 800, 1, 1, true, true, 0, 0},
        {"types differ", 1, 2, 800, 0, 1, false, false, 0, 0},
        {"source without size", 1, 1, 0, 0, 1, false, false, 0, 0},
        {"copied", 1, 1, 800, 0, 1, true, true, 1234, 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CAnchor src = MakeAnchor(4, c.srcType, c.srcW, 600);
        src.valid = c.srcValid;
        src.position = 1234;
        CAnchor dst;
        dst.type = c.dstType;
        dst.valid = c.dstValid;
        EXPECT_EQ(dst.CopyPositionFrom(src), c.result);
        EXPECT_EQ(static_cast<bool>(dst.valid), c.dstValidAfter);
        EXPECT_EQ(dst.position, c.dstPosition);
        EXPECT_EQ(dst.imageWidth, c.dstWidth);
    }
}

TEST(AnchorGeometry, RefAnchorDistance) {
    CRefAnchorInfo r;
    r.distToAnchor = 500;
    r.SetImageSize(2000, 1000);
    const std::pair<int32_t, int32_t> cases[] = {{1, 100}, {3, 100}, {2, 50}, {4, 50}, {0, 0}, {5, 0}};
    for (auto [type, expected] : cases) {
        r.locationType = type;
        EXPECT_EQ(r.DistancePixels(), expected) << "locationType " << type;
    }
}

CRegion MakeRegion(int32_t l, int32_t t, int32_t r, int32_t b) {
    CRegion region;
    region.left = l;
    region.top = t;
    region.right = r;
    region.bottom = b;
    return region;
}

TEST(RegionGeometry, PixelRectWidthHeightAndSetFromPixels) {
    CRegion r = MakeRegion(1000, 2000, 5000, 7000);
    EXPECT_EQ(r.PixelRect(), Rect32{});  // no image size yet
    r.SetImageSize(2000, 1000);
    EXPECT_EQ(r.PixelRect(), (Rect32{200, 200, 1000, 700}));
    EXPECT_EQ(r.PixelWidth(), 800);
    EXPECT_EQ(r.PixelHeight(), 500);

    r.SetFromPixels(Rect32{100, 50, 300, 250});
    EXPECT_EQ(r.left, 500);
    EXPECT_EQ(r.top, 500);
    EXPECT_EQ(r.right, 1500);
    EXPECT_EQ(r.bottom, 2500);

    CRegion zero = MakeRegion(1, 2, 3, 4);
    zero.SetFromPixels(Rect32{100, 50, 300, 250});  // no size: nothing happens
    EXPECT_EQ(zero.left, 1);
    EXPECT_EQ(zero.bottom, 4);
}

TEST(RegionGeometry, SetImageSizeReachesBothLists) {
    CRegion r = MakeRegion(0, 0, 10000, 10000);
    r.anchorList = std::make_unique<CAnchorList>();
    r.anchorList->items.resize(2);
    r.anchorList->items[0] = std::make_unique<CAnchor>();  // slot 1 stays empty
    r.anchorList->count = 2;
    r.refAnchorList = std::make_unique<CRefAnchorList>();
    r.refAnchorList->items.push_back(std::make_unique<CRefAnchorInfo>());
    r.refAnchorList->count = 1;
    r.SetImageSize(640, 480);
    EXPECT_EQ(r.anchorList->items[0]->imageWidth, 640);
    EXPECT_EQ(r.anchorList->items[0]->imageHeight, 480);
    EXPECT_EQ(r.refAnchorList->items[0]->imageWidth, 640);
    EXPECT_EQ(r.refAnchorList->items[0]->imageHeight, 480);
}

void AddRef(CRegion& r, int32_t refAnchorId, int32_t dist, int32_t locationType) {
    if (!r.refAnchorList) r.refAnchorList = std::make_unique<CRefAnchorList>();
    auto ref = std::make_unique<CRefAnchorInfo>();
    ref->refAnchorId = refAnchorId;
    ref->distToAnchor = dist;
    ref->locationType = locationType;
    r.refAnchorList->items.push_back(std::move(ref));
    r.refAnchorList->count = static_cast<int32_t>(r.refAnchorList->items.size());
}

TEST(RegionGeometry, AnchoredRect) {
    // Anchor 7 (x) at pixel 1900 on a 2000-wide image; anchor 8 (y) at 400 of 1000.
    CAnchor ax = MakeAnchor(7, 1, 2000, 1000);
    ax.Locate(1900, 0);
    CAnchor ay = MakeAnchor(8, 2, 2000, 1000);
    ay.Locate(0, 400);
    CAnchor invalid = MakeAnchor(9, 1, 2000, 1000);
    std::vector<CAnchor*> anchors{&ax, &ay, &invalid};

    CRegion r = MakeRegion(1000, 1000, 5000, 5000);
    AddRef(r, 7, 500, 3);    // right = min(2000, 100 + 1900)
    AddRef(r, 8, -1000, 2);  // top = max(-100 + 400, 0)
    AddRef(r, 8, -6000, 4);  // bottom = min(1000, -600 + 400) = -200
    AddRef(r, 9, 100, 1);    // anchor not valid: left unchanged
    AddRef(r, 99, 100, 1);   // no such anchor
    AddRef(r, 7, 100, 0);    // unknown location type
    r.SetImageSize(2000, 1000);

    auto rect = r.AnchoredRect(anchors);
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(*rect, (Rect32{200, 300, 2000, -200}));

    // Left side clamps at 0.
    CRegion l = MakeRegion(1000, 1000, 5000, 5000);
    AddRef(l, 7, -10000, 1);
    l.SetImageSize(2000, 1000);
    EXPECT_EQ(l.AnchoredRect(anchors)->left, 0);

    // Without anchors or without reference anchors: the pixel rectangle.
    EXPECT_EQ(*r.AnchoredRect({}), r.PixelRect());
    CRegion plain = MakeRegion(1000, 1000, 5000, 5000);
    plain.SetImageSize(2000, 1000);
    EXPECT_EQ(*plain.AnchoredRect(anchors), plain.PixelRect());

    // An empty region has no anchored rectangle, even with valid anchors.
    CRegion flat = MakeRegion(3000, 1000, 3000, 5000);
    AddRef(flat, 7, 500, 3);
    flat.SetImageSize(2000, 1000);
    EXPECT_FALSE(flat.AnchoredRect(anchors).has_value());
    CRegion thin = MakeRegion(1000, 4000, 3000, 4000);
    thin.SetImageSize(2000, 1000);
    EXPECT_FALSE(thin.AnchoredRect(anchors).has_value());
}

TEST(RegionGeometry, LocateAnchorsByRefTypeAndThreshold) {
    CRegion r = MakeRegion(0, 0, 10000, 10000);
    r.anchorList = std::make_unique<CAnchorList>();
    // refType, anchor type: the expected position follows the picked point.
    const struct {
        int32_t refType, type, threshold, expected;
        bool located;
    } anchors[] = {
        {7, 1, 750, 3000, true},  // unknown first: (x1, y1) -> x1 = 300 of 1000
        {1, 1, 750, 1000, true},  // left edge middle: x0 = 100
        {2, 2, 750, 1000, true},  // top edge middle: y0 = 50 of 500
        {3, 2, 750, 3000, true},  // right edge middle: (y0 + y1) / 2 = 150
        {4, 1, 750, 2000, true},  // bottom edge middle: (x0 + x1) / 2 = 200
        {0, 2, 750, 5000, true},  // unknown: previous point (200, 250) -> y 250
        {1, 1, 751, 0, false},    // threshold above the score
    };
    for (const auto& a : anchors) {
        auto anchor = std::make_unique<CAnchor>();
        anchor->refType = a.refType;
        anchor->type = a.type;
        anchor->threshold = a.threshold;
        r.anchorList->items.push_back(std::move(anchor));
    }
    r.anchorList->count = static_cast<int32_t>(r.anchorList->items.size());
    r.SetImageSize(1000, 500);
    r.LocateAnchors(100, 50, 300, 250, 750);
    for (size_t i = 0; i < std::size(anchors); ++i) {
        SCOPED_TRACE(i);
        const CAnchor& a = *r.anchorList->items[i];
        EXPECT_EQ(static_cast<bool>(a.valid), anchors[i].located);
        EXPECT_EQ(a.position, anchors[i].expected);
    }
}

TEST(RegionGeometry, LocateAnchorsScoreBelowThresholdPlacesNothing) {
    for (int32_t score : {749, 750}) {
        CRegion r = MakeRegion(0, 0, 10000, 10000);
        r.anchorList = std::make_unique<CAnchorList>();
        r.anchorList->items.push_back(std::make_unique<CAnchor>());  // threshold 750
        r.anchorList->items[0]->refType = 1;
        r.anchorList->count = 1;
        r.SetImageSize(1000, 1000);
        r.LocateAnchors(100, 0, 200, 10, score);
        EXPECT_EQ(static_cast<bool>(r.anchorList->items[0]->valid), score >= 750) << score;
    }
}

TEST(TextLineGeometry, ListHandsSizeToEveryLineAndRegion) {
    CTextLineList lines;
    lines.items.resize(3);
    lines.items[0] = std::make_unique<CTextLine>();
    lines.items[0]->SetRegion(MakeRegion(0, 0, 5000, 5000));
    lines.items[2] = std::make_unique<CTextLine>();
    lines.count = 3;
    lines.SetImageSize(300, 100);
    EXPECT_EQ(lines.Get(0)->imageWidth, 300);
    EXPECT_EQ(lines.Get(0)->RegionRect(), (Rect32{0, 0, 150, 50}));
    EXPECT_EQ(lines.Get(2)->imageHeight, 100);
    EXPECT_EQ(lines.Get(1), nullptr);
}

TEST(TextLineGeometry, RegionAccessorsAndCopies) {
    CTextLine line;
    EXPECT_EQ(line.RegionRect(), Rect32{});
    EXPECT_EQ(line.RegionWidth(), 0);
    EXPECT_EQ(line.RegionHeight(), 0);

    CRegion r = MakeRegion(1000, 1000, 3000, 2000);
    line.SetRegion(r);
    r.left = 0;  // the line holds its own copy
    line.SetImageSize(1000, 2000);
    EXPECT_EQ(line.RegionRect(), (Rect32{100, 200, 300, 400}));
    EXPECT_EQ(line.RegionWidth(), 200);
    EXPECT_EQ(line.RegionHeight(), 200);
    EXPECT_EQ(line.region->imageWidth, 1000);

    RecognitionResult results[2];
    results[0].candidates[0] = u'A';
    results[1].candidates[0] = u'B';
    results[1].scores[0] = 99;
    line.SetLineResults(results, 2);
    CTextLine copy;
    copy.Assign(line);
    ASSERT_EQ(copy.lineResultCount, 2);
    ASSERT_EQ(copy.lineResults.size(), 2u);
    EXPECT_EQ(copy.lineResults[1].candidates[0], u'B');
    EXPECT_EQ(copy.lineResults[1].scores[0], 99);
    ASSERT_TRUE(copy.region);
    EXPECT_NE(copy.region.get(), line.region.get());
    EXPECT_EQ(copy.RegionRect(), line.RegionRect());
    line.SetLineResults(nullptr, 0);
    EXPECT_EQ(line.lineResultCount, 0);
    EXPECT_TRUE(line.lineResults.empty());
}

CSubTemplate* WithAnchors(CSubTemplate& sub, std::vector<CAnchor> list) {
    sub.anchorList = std::make_unique<CAnchorList>();
    for (auto& a : list) {
        auto p = std::make_unique<CAnchor>();
        p->Assign(a);
        sub.anchorList->items.push_back(std::move(p));
    }
    sub.anchorList->count = static_cast<int32_t>(sub.anchorList->items.size());
    sub.CollectAnchors();
    return &sub;
}

TEST(SubTemplateAnchors, InheritTakesFirstValidMatch) {
    CAnchor p4a = MakeAnchor(4, 1, 1000, 800);
    p4a.valid = 1;
    p4a.position = 1111;
    CAnchor p4b = MakeAnchor(4, 1, 1000, 800);
    p4b.valid = 1;
    p4b.position = 2222;
    CAnchor p5 = MakeAnchor(5, 1, 1000, 800);  // not valid
    CSubTemplate parent;
    WithAnchors(parent, {p4a, p4b, p5});

    CAnchor c1;  // inherits 4
    c1.inheritedId = 4;
    CAnchor c2;  // inherits 5 (not valid there)
    c2.inheritedId = 5;
    CAnchor c3;  // inherits nothing
    CAnchor c4;  // already valid
    c4.inheritedId = 4;
    c4.valid = 1;
    c4.position = 9;
    CSubTemplate child;
    WithAnchors(child, {c1, c2, c3, c4});
    child.InheritAnchors(&parent);
    EXPECT_TRUE(child.anchors[0]->valid);
    EXPECT_EQ(child.anchors[0]->position, 1111);
    EXPECT_EQ(child.anchors[0]->imageWidth, 1000);
    EXPECT_FALSE(child.anchors[1]->valid);
    EXPECT_FALSE(child.anchors[2]->valid);
    EXPECT_EQ(child.anchors[3]->position, 9);

    child.InheritAnchors(nullptr);  // no parent sub-template: nothing happens
    child.ResetAnchors();
    for (const CAnchor* a : child.anchors) {
        EXPECT_FALSE(a->valid);
        EXPECT_EQ(a->imageWidth, 0);
        EXPECT_EQ(a->imageHeight, 0);
    }
}

}  // namespace
}  // namespace libMorvaneClassifier
