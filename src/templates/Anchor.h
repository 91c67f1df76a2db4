// Anchors (points on the page located during a classification), reference
// anchors (an edge of a region tied to an anchor) and regions. Geometry is
// held in ten-thousandths of the image width (horizontal) or height
// (vertical) and turned into pixels with the size set by SetImageSize.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/Geometry.h"
#include "core/ObjBase.h"
#include "core/ObjList.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CAnchor : public CTableRecord<CAnchor> {
public:
    static constexpr char16_t kElement[] = u"Anchor";
    static constexpr char16_t kListElement[] = u"AnchorList";
    static constexpr bool kMissingItemKeepsDefaults = false;

    int32_t id = 0;
    int32_t type = 1;      // 1 horizontal position (x), 2 vertical position (y)
    int32_t position = 0;  // located position in ten-thousandths
    int32_t posX = 0;
    int32_t posY = 0;
    int32_t min = -1;
    int32_t max = -1;
    int32_t valid = 0;  // "IsValid": the position is known
    int32_t threshold = 750;
    int32_t inheritedId = -1;
    int32_t refType = 0;  // 1 left, 2 top, 3 right, 4 bottom edge middle
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;

    // Every field; Assign copies the run-time ones too.
    static const RecordTable<CAnchor>& Fields();

    void SetImageSize(int32_t w, int32_t h) {
        imageWidth = w;
        imageHeight = h;
    }
    // Places the anchor at pixel (x, y); an anchor already valid keeps its
    // position. False without an image size.
    bool Locate(int32_t x, int32_t y);
    // Takes over a valid anchor's position when the types agree.
    bool CopyPositionFrom(const CAnchor& other);
    int32_t PixelPosition() const;
};

using CAnchorList = CObjList<CAnchor>;

class CRefAnchorInfo : public CTableRecord<CRefAnchorInfo> {
public:
    static constexpr char16_t kElement[] = u"RefAnchor";
    static constexpr char16_t kListElement[] = u"RefAnchorList";
    static constexpr bool kMissingItemKeepsDefaults = false;

    int32_t id = 0;
    int32_t refAnchorId = 0;
    int32_t distToAnchor = 0;  // ten-thousandths of the width or height
    int32_t locationType = 0;  // 1 left, 2 top, 3 right, 4 bottom edge of the region
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;

    static const RecordTable<CRefAnchorInfo>& Fields();
    void SetImageSize(int32_t w, int32_t h) {
        imageWidth = w;
        imageHeight = h;
    }
    int32_t DistancePixels() const;
};

using CRefAnchorList = CObjList<CRefAnchorInfo>;

class CRegion : public CTableRecord<CRegion> {
public:
    static constexpr char16_t kElement[] = u"Region";

    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    std::unique_ptr<CAnchorList> anchorList;
    std::unique_ptr<CRefAnchorList> refAnchorList;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;

    // Assign copies both lists deeply.
    static const RecordTable<CRegion>& Fields();

    // Stores the size and hands it to every reference anchor and anchor.
    void SetImageSize(int32_t w, int32_t h);
    Rect32 PixelRect() const;
    int32_t PixelWidth() const;
    int32_t PixelHeight() const;
    // Sets the edges from a pixel rectangle; nothing without an image size.
    void SetFromPixels(const Rect32& rect);
    // The pixel rectangle with its edges moved by the valid anchors its
    // reference anchors name; none for an empty region.
    std::optional<Rect32> AnchoredRect(const std::vector<CAnchor*>& anchors) const;
    // Places the region's own anchors on a rectangle found on the image
    // whose match score reaches each anchor's threshold.
    void LocateAnchors(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t score);
};

}  // namespace libMorvaneClassifier
