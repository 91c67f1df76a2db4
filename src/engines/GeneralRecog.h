// The engine manager: starts the recognition engines on demand, keeps the
// current selection and recognises one image region into a 56-byte result.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/EngineAdapters.h"
#include "engines/KernelInfo.h"

class CRawImage;

namespace libMorvaneClassifier {

// One character reported by a line engine (the end of a line is an entry
// whose character is kLineEndCode).
struct LineCharEntry {
    PrtCharInfo info;
    bool lineEnd = false;
};
constexpr uint16_t kLineEndCode = 0x0A0D;

class CGeneralRecog {
public:
    static constexpr int kSubTypes = 12;

    CGeneralRecog();
    ~CGeneralRecog();
    CGeneralRecog(const CGeneralRecog&) = delete;
    CGeneralRecog& operator=(const CGeneralRecog&) = delete;

    // Starts the engine of (main type, sub type) with the current directory
    // switched to `directory` and restored afterwards. 0 when it is ready.
    int StartEngine(int32_t mainType, int32_t subType, const std::string& directory);
    // Stores the selection for the following RecognizeSelected calls.
    void SelectEngine(int32_t mainType, int32_t subType, int32_t filterType, int32_t fillingMethod);
    // Recognises the region with the selected engine; the result is cleared
    // first. 0 on success.
    int RecognizeSelected(const EngineImage& image, RecogResult& result);
    // Hands the allowed characters to the main type 2 engine.
    void SetFormFilterPlus(const std::u16string& characters);

    // Start status of a sub type: -1 not started, 0 started, else the failed
    // start's result.
    int StartStatus(int32_t subType) const;
    // Whether an engine failed to start (the failure is kept until the
    // manager is reset).
    bool HasFailedStart() const {
        for (int s : status_)
            if (s > 0) return true;
        return false;
    }
    int LastStatus() const { return lastStatus_; }
    // Characters reported by the last line recognition.
    const std::vector<LineCharEntry>& LineCharacters() const { return lineChars_; }
    std::vector<LineCharEntry>& MutableLineCharacters() { return lineChars_; }

    // Stops and releases the gray-character engines.
    void EndGrayEngines();

private:
    int StartSubType(int32_t subType);
    CGrayChar* GrayEngine(int32_t subType);
    int RecognizeLine(const EngineImage& image, RecogResult& result);

    std::array<std::unique_ptr<CPrtCcjk>, 2> prtCcjk_;
    CPrtMC prtMc_;
    CHandCHS handChs_;
    CHandDigital handDigital_;
    CGridHandDig gridHandDig_;
    CGrayID grayId_;
    std::array<std::unique_ptr<CGrayChar>, kSubTypes> gray_;  // sub types 6, 7, 9, 10, 11
    CFormEngine form_;
    CBarCode barcode_;
    std::array<int, kSubTypes> status_;
    int lastStatus_ = -1;
    int32_t mainType_ = 0, subType_ = 0, filterType_ = 0, fillingMethod_ = 0;
    std::vector<LineCharEntry> lineChars_;
};

// The engine gate: one lock for the whole process. The engine plug-ins keep
// state of their own and are not safe to call from several threads at
// once, and starting one switches the process's current directory. So the
// manager below, its engines and the engine directory
// (platform/EngineFiles.h) are only used while this lock is held:
// RecognizeRegion takes it itself, for the engine start and for the
// selection with its recognition (the crop and its preprocessing run
// outside); any other caller holds an EngineGateLock for its calls.
// Recursive, so that a holder may call RecognizeRegion.
std::recursive_mutex& EngineGate();
using EngineGateLock = std::lock_guard<std::recursive_mutex>;

// The process-wide manager, created on first use (under the engine gate). Unloading the classifier
// destroys it through ResetGeneralRecog; at process exit it is left alone.
CGeneralRecog& GeneralRecog();
// Stops every engine and drops the manager; the next use starts afresh
// (after the engine file names were changed).
void ResetGeneralRecog();

// Recognises the rectangle (left, top, right, bottom; right and bottom
// exclusive) of `image` with the engine of `engine`, starting it when the
// record is not yet initialised. The result's rectangle is the page
// rectangle. 0 on success; otherwise 1 for an empty image or rectangle, a
// failed start or an empty crop, 4 when a preprocessing step fails, 5 when
// memory runs out, or the engine's non-zero result. When the engine could
// not be started, engine.startFailure says why (and initialised stays 0).
int RecognizeRegion(const CRawImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    CKernelInfo& engine, RecogResult& result);

}  // namespace libMorvaneClassifier
