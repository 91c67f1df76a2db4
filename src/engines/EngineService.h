// The recognition engines as a classification reaches them. The engine
// plug-ins are process-wide (their own state, the current directory their
// start switches), so there is one service for the process, behind the one
// engine gate (GeneralRecog.h); a classification carries a reference to it
// in its context and the filters recognise through that reference, not
// through the process object itself.
#pragma once
#include <cstdint>
#include <mutex>

#include "engines/KernelInfo.h"

class CRawImage;

namespace libMorvaneClassifier {

class CEngineService {
public:
    CEngineService() = default;
    CEngineService(const CEngineService&) = delete;
    CEngineService& operator=(const CEngineService&) = delete;

    // Recognises a rectangle of image with the engine of `engine`, starting
    // it first when needed; RecognizeRegion's contract (it takes the gate
    // for the start and for the recognition).
    int Recognize(const CRawImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                  CKernelInfo& engine, RecogResult& result);
    // Starts the engine of (main type, sub type) in the engine directory;
    // 0 when it is ready. Takes the gate.
    int Start(int32_t mainType, int32_t subType);
    // The gate every other caller of the engines holds (recursive).
    std::recursive_mutex& Gate();
};

// The process's one engine service.
CEngineService& ProcessEngineService();

}  // namespace libMorvaneClassifier
