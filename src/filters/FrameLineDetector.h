// Detection of the straight ruled lines of a form (table borders, boxes,
// underlines): horizontal and vertical lines with their end points, angle,
// thickness and quality.
//
// Each direction has its own tracker. A tracker reads the image as scan lines
// across its direction (columns for horizontal lines, rows for vertical
// lines), collects the black (or dark) runs of every scan line, links runs of
// neighbouring scan lines into a run graph, follows one-to-one links into
// chains, fits least-squares lines through the chains, joins chains across
// small gaps, rejects what looks like text and merges duplicates.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"

namespace libMorvaneClassifier {

// One detected line, in pixels of the image given to Detect.
struct DetectedLine {
    int32_t x1 = 0, y1 = 0;  // start: leftmost (horizontal) or topmost (vertical) point
    int32_t x2 = 0, y2 = 0;  // end
    double angle = 0.0;      // radians, direction from start to end, rows growing downwards
    double thickness = 0.0;  // mean thickness across the line, pixels
    double quality = 0.0;    // straightness and continuity, 0 to 1
    int32_t style = 0;       // always 0 for detected lines
};

// Angle of the direction from (x1, y1) to (x2, y2) with rows growing
// downwards: 0 for a level line drawn left to right, -pi/2 for a vertical
// line drawn top to bottom, 0 when both points coincide.
double LineAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Parameters of one tracker.
struct FrameLineParams {
    int32_t contrast = 30;       // least depth of a dark run on gray scan lines
    int32_t widthOverride = 0;   // fixed along size estimate (0 = estimate)
    int32_t heightOverride = 0;  // fixed across size estimate (0 = estimate)
    int32_t maxThickness = 14;   // thicker runs are no line cross-sections
    bool dropShortChains = true;
    bool mergeCloseRuns = true;
    bool keepUnrotated = true;
    int32_t bridgeLimit = 15;  // gap, in scan positions, bridged when joining
};

class CFrameLineTracker;

class CFrameLine {
public:
    CFrameLine();
    virtual ~CFrameLine();
    CFrameLine(const CFrameLine&) = delete;
    CFrameLine& operator=(const CFrameLine&) = delete;

    // Detects the lines inside the inclusive rectangle. 1-bit, 8-bit and
    // 24-bit images are accepted; on 1-bit images the small gaps bridged
    // between close runs are painted black into `image`. Returns 0, or -1 for
    // an image without pixels, an unsupported bit depth, a rectangle that is
    // empty or not inside the image, or no memory.
    int Detect(CRawImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Results of the last successful Detect: horizontal lines by y1,
    // vertical lines by x1.
    const std::vector<DetectedLine>& Horizontal() const { return horizontal_; }
    const std::vector<DetectedLine>& Vertical() const { return vertical_; }
    bool Finished() const { return finished_; }

    // Size estimates of the last run (typical character size in pixels along
    // and across each tracker's direction).
    int32_t HorizontalAlongSize() const { return hAlong_; }
    int32_t HorizontalAcrossSize() const { return hAcross_; }
    int32_t VerticalAlongSize() const { return vAlong_; }
    int32_t VerticalAcrossSize() const { return vAcross_; }

    FrameLineParams params;  // used by both trackers

private:
    std::vector<DetectedLine> horizontal_;
    std::vector<DetectedLine> vertical_;
    int32_t hAlong_ = 0, hAcross_ = 0, vAlong_ = 0, vAcross_ = 0;
    bool finished_ = false;
};

// Joins broken pieces of lines of one direction (horizontal when
// `horizontal`), with the lines of the other direction as crossings that
// keep pieces apart. gap is the largest gap that may be closed.
void JoinBrokenLines(std::vector<DetectedLine>& lines, const std::vector<DetectedLine>& others,
                     bool horizontal, double gap);

}  // namespace libMorvaneClassifier
