#include "preprocess/ScanSteps.h"

#include <new>

#include "preprocess/FindDocument.h"
#include "preprocess/NormalizeResolution.h"

namespace libMorvaneClassifier {

std::unique_ptr<CImageProcessingInfo> CreateScanStepInfo(int32_t type) {
    switch (type) {
        case kStepFindDocument:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CFindDocumentInfo);
        case kStepNormalizeResolution:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CNormalizeResolutionInfo);
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
        default:
            return false;
    }
}

}  // namespace libMorvaneClassifier
