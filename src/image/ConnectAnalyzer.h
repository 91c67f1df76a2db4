// Labels the 8-connected black components of a 1-bit image.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"

// Base of the image analysers: holds the analysed image (not owned).
class CImageAnalyzer {
public:
    explicit CImageAnalyzer(const CRawImage* image) : image_(image) {}
    virtual ~CImageAnalyzer() = default;
    CImageAnalyzer(const CImageAnalyzer&) = delete;
    CImageAnalyzer& operator=(const CImageAnalyzer&) = delete;
    // 1 on success, 0 on failure. The argument is not used.
    virtual int Analyze(int32_t unused) = 0;

protected:
    const CRawImage* image_;
};

// One connected component: bounding box (right exclusive; bottom one past
// the last row but never more than image height - 1), number of black pixels
// and the start of its first run.
struct ComponentRecord {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t pixelCount = 0;
    uint8_t kind = 0;  // 6 in the final list; 7 marks a record merged away
    int32_t seedX = 0;
    int32_t seedY = 0;
};

class CConnectAnalyzer : public CImageAnalyzer {
public:
    // The analysed area is the whole image.
    explicit CConnectAnalyzer(const CRawImage* image);
    // 0 when the image has no pixels or is not 1-bit. Otherwise labels the
    // area in one pass over the rows and leaves the components in the order
    // they were first met (top to bottom, left to right by first run).
    int Analyze(int32_t unused = 0) override;

    const std::vector<ComponentRecord>& Components() const { return components_; }
    int32_t Count() const { return static_cast<int32_t>(components_.size()); }

    int32_t areaLeft = 0;
    int32_t areaTop = 0;
    int32_t areaRight = 0;
    int32_t areaBottom = 0;

private:
    std::vector<ComponentRecord> components_;
};
