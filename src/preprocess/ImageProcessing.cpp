#include "preprocess/ImageProcessing.h"

#include "preprocess/ScanSteps.h"
#include "preprocess/StepActions.h"

namespace libMorvaneClassifier {

bool ApplyImageProcessing(CRawImage& image, const CImageProcessingInfo& step) {
    switch (step.type) {
        case kStepColorToGray: {
            auto* s = dynamic_cast<const CColorToGrayInfo*>(&step);
            return s && ApplyColorToGrayStep(image, *s);
        }
        case kStepGrayToBin: {
            auto* s = dynamic_cast<const CGrayToBinInfo*>(&step);
            return s && ApplyGrayToBinStep(image, *s);
        }
        case kStepEraseBlackEdge: {
            auto* s = dynamic_cast<const CBlackEdgesErasingInfo*>(&step);
            if (!s) return false;
            // Only method 0 erases; every other method leaves the image as
            // it is and lets the chain go on.
            if (s->method != 0) return true;
            return ApplyBlackEdgesErasingStep(image, *s);
        }
        case kStepTiltCorrection:
        case kStepTiltCorrectionAlias: {
            auto* s = dynamic_cast<const CTiltCorrectionInfo*>(&step);
            return s && ApplyTiltCorrectionStep(image, *s);
        }
        case kStepImageCropping:  // placeholder step: always fails
            return false;
        default:
            return ApplyScanStep(image, step);  // types 20 and up; false for unknown numbers
    }
}

bool ApplyImageProcessingList(CRawImage& image, const CImageProcessingList& list) {
    const int32_t count = list.GetCount();
    for (int32_t i = 0; i < count; ++i) {
        const CImageProcessingInfo* step = list.GetItem(i);
        if (step && !ApplyImageProcessing(image, *step)) return false;
    }
    return true;
}

bool ApplyImageProcessingList(CRawImage& image, const CImageProcessingList* list) {
    return list ? ApplyImageProcessingList(image, *list) : true;
}

}  // namespace libMorvaneClassifier
