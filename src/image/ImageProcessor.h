// Base of every image processor: reads its source image and writes the
// result into a destination image, or in place through a temporary copy.
#pragma once
#include "image/Dib.h"

class CImageProcessor {
public:
    // A processor over a const source reads it only: ProcessInPlace fails.
    explicit CImageProcessor(const CRawImage* source) : source_(source) {}
    explicit CImageProcessor(CRawImage* source) : source_(source), target_(source) {}
    virtual ~CImageProcessor() = default;
    CImageProcessor(const CImageProcessor&) = delete;
    CImageProcessor& operator=(const CImageProcessor&) = delete;

    // Reads the source and re-creates dst with the result. 1 on success, 0
    // when the source has no pixels or the wrong bit count (dst untouched).
    virtual int Process(CRawImage& dst) = 0;
    // Runs Process and lets the result replace the source (file name and
    // reader/writer stay). Returns Process's result (0 when the source has
    // no pixels).
    virtual int ProcessInPlace();

protected:
    const CRawImage* source_;
    // The source again when it may be replaced in place, else null.
    CRawImage* target_ = nullptr;
};

// Runs a processor into dst, or in place when dst is null (0 when the
// processor's source is const).
int RunProcessor(CImageProcessor& processor, CRawImage* dst);
