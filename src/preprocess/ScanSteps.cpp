#include "preprocess/ScanSteps.h"

#include <new>

#include "preprocess/FindDocument.h"
#include "preprocess/NormalizeResolution.h"
#include "preprocess/NormalizeTextSize.h"
#include "preprocess/StraightenZone.h"

namespace libMorvaneClassifier {

std::unique_ptr<CImageProcessingInfo> CreateScanStepInfo(int32_t type) {
    switch (type) {
        case kStepFindDocument:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CFindDocumentInfo);
        case kStepNormalizeResolution:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CNormalizeResolutionInfo);
        case kStepStraightenZone:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CStraightenZoneInfo);
        case kStepNormalizeTextSize:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CNormalizeTextSizeInfo);
        default:
            return nullptr;
    }
}

bool ApplyScanStep(CRawImage& image, const CImageProcessingInfo& step) {
    switch (step.type) {
        case kStepFindDocument: {
            auto* s = dynamic_cast<const CFindDocumentInfo*>(&step);
            return s && FindDocument(image, *s);
        }
        case kStepNormalizeResolution: {
            auto* s = dynamic_cast<const CNormalizeResolutionInfo*>(&step);
            return s && NormalizeResolution(image, *s);
        }
        case kStepStraightenZone: {
            auto* s = dynamic_cast<const CStraightenZoneInfo*>(&step);
            return s && StraightenZone(image, *s);
        }
        case kStepNormalizeTextSize: {
            auto* s = dynamic_cast<const CNormalizeTextSizeInfo*>(&step);
            return s && NormalizeTextSize(image, *s);
        }
        default:
            return false;
    }
}

}  // namespace libMorvaneClassifier
