#include "engines/EngineService.h"

#include "engines/GeneralRecog.h"
#include "platform/EngineFiles.h"

namespace libMorvaneClassifier {

int CEngineService::Recognize(const CRawImage& image, int32_t left, int32_t top, int32_t right,
                              int32_t bottom, CKernelInfo& engine, RecogResult& result) {
    return RecognizeRegion(image, left, top, right, bottom, engine, result);
}

int CEngineService::Start(int32_t mainType, int32_t subType) {
    const EngineGateLock gate(EngineGate());
    return GeneralRecog().StartEngine(mainType, subType, EnsureEngineDirectory());
}

std::recursive_mutex& CEngineService::Gate() { return EngineGate(); }

CEngineService& ProcessEngineService() {
    // Constant-initialised: the service holds no state of its own.
    static CEngineService service;
    return service;
}

}  // namespace libMorvaneClassifier
