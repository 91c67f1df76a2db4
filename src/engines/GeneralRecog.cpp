#include "engines/GeneralRecog.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <new>

#include "image/Dib.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "preprocess/ImageProcessing.h"

namespace libMorvaneClassifier {

namespace {

// Restores the current directory when it goes out of scope.
class CDirectorySwitch {
public:
    explicit CDirectorySwitch(const std::string& directory) {
        char buffer[PATH_MAX];
        if (::getcwd(buffer, sizeof buffer)) saved_ = buffer;
        if (!directory.empty() && !saved_.empty()) switched_ = ::chdir(directory.c_str()) == 0;
    }
    ~CDirectorySwitch() {
        if (switched_) (void)!::chdir(saved_.c_str());
    }

private:
    std::string saved_;
    bool switched_ = false;
};

// Line-engine call-backs: the engine has no context argument, so they
// append to the manager's character list.
int HookReturnsOne() { return 1; }

int OnLineEnd() {
    LineCharEntry e{};
    e.info.code = kLineEndCode;
    e.lineEnd = true;
    GeneralRecog().MutableLineCharacters().push_back(e);
    return 1;
}

int OnCharacter(const PrtCharInfo* info) {
    if (!info) return 1;
    LineCharEntry e{};
    e.info = *info;
    GeneralRecog().MutableLineCharacters().push_back(e);
    return 1;
}

bool IsGraySubType(int32_t subType) {
    return subType == 6 || subType == 7 || subType == 9 || subType == 10 || subType == 11;
}

}  // namespace

CGeneralRecog::CGeneralRecog() { status_.fill(-1); }

CGeneralRecog::~CGeneralRecog() { EndGrayEngines(); }

void CGeneralRecog::EndGrayEngines() {
    for (auto& g : gray_)
        if (g) g->End();
    for (auto& g : gray_) g.reset();
}

int CGeneralRecog::StartStatus(int32_t subType) const {
    if (subType < 0 || subType >= kSubTypes) return 1;
    return status_[static_cast<size_t>(subType)];
}

CGrayChar* CGeneralRecog::GrayEngine(int32_t subType) {
    if (!IsGraySubType(subType)) return nullptr;
    auto& slot = gray_[static_cast<size_t>(subType)];
    if (!slot) {
        switch (subType) {
            case 6:
                slot = std::make_unique<CGrayPassport>();
                break;
            case 7:
                slot = std::make_unique<CGrayGeneral>();
                break;
            case 9:
                slot = std::make_unique<CGrayDP>();
                break;
            case 10:
                slot = std::make_unique<CGrayLP>();
                break;
            default:
                slot = std::make_unique<CGrayNumChar>();
                break;
        }
    }
    return slot.get();
}

int CGeneralRecog::StartSubType(int32_t subType) {
    switch (subType) {
        case 0:
        case 1: {
            auto& a = prtCcjk_[static_cast<size_t>(subType)];
            if (!a) a = std::make_unique<CPrtCcjk>();
            return a->Start(subType);
        }
        case 2:
            return prtMc_.Start();
        case 3:
            return handChs_.Start();
        case 4:
            return handDigital_.Start();
        case 5:
            return gridHandDig_.Start();
        case 8:
            return grayId_.Start();
        default: {
            CGrayChar* g = GrayEngine(subType);
            return g ? g->Init() : 1;
        }
    }
}

int CGeneralRecog::StartEngine(int32_t mainType, int32_t subType, const std::string& directory) {
    CDirectorySwitch cwd(directory);
    switch (mainType) {
        case 1: {
            if (subType < 0 || subType >= kSubTypes) return 1;
            int& status = status_[static_cast<size_t>(subType)];
            if (status == 0) return 0;
            status = StartSubType(subType);
            return status;
        }
        case 2:
            return form_.Start();
        case 3:
            return barcode_.Start();
        default:
            return 1;
    }
}

void CGeneralRecog::SelectEngine(int32_t mainType, int32_t subType, int32_t filterType,
                                 int32_t fillingMethod) {
    mainType_ = mainType;
    subType_ = subType;
    filterType_ = filterType;
    fillingMethod_ = fillingMethod;
}

void CGeneralRecog::SetFormFilterPlus(const std::u16string& characters) { form_.SetFilterPlus(characters); }

int CGeneralRecog::RecognizeLine(const EngineImage& image, RecogResult& result) {
    CPrtCcjk* engine = prtCcjk_[static_cast<size_t>(subType_)].get();
    if (!engine || !engine->Ready()) return 1;
    lineChars_.clear();
    lineChars_.reserve(100);
    // The line engine reads one byte per pixel.
    std::vector<uint8_t> pixels;
    std::vector<uint8_t*> rows;
    uint8_t** rowPointers = image.rows;
    if (image.bitCount != 8) {
        const size_t w = static_cast<size_t>(image.width);
        pixels.resize(w * static_cast<size_t>(image.height));
        rows.resize(static_cast<size_t>(image.height));
        for (int32_t y = 0; y < image.height; ++y) {
            rows[static_cast<size_t>(y)] = pixels.data() + w * static_cast<size_t>(y);
            for (int32_t x = 0; x < image.width; ++x)
                rows[static_cast<size_t>(y)][x] = EngineGrayAt(image, x, y);
        }
        rowPointers = rows.data();
    }
    PrtLineRegion region{};
    region.width = image.width;
    region.height = image.height;
    region.rows = rowPointers;
    region.left = image.left;
    region.top = image.top;
    region.right = image.right;
    region.bottom = image.bottom;
    region.reserved = 0;
    region.one = 1;
    region.onStart = HookReturnsOne;
    region.onLineEnd = OnLineEnd;
    region.onProgress = HookReturnsOne;
    region.onChar = OnCharacter;
    region.onFinish = HookReturnsOne;
    if (engine->RecognizeLine(region) != 0) return 3;
    // The first recognised character (line ends carry no character).
    for (const LineCharEntry& e : lineChars_) {
        if (e.lineEnd) continue;
        result.left = e.info.left;
        result.top = e.info.top;
        result.right = e.info.right;
        result.bottom = e.info.bottom;
        for (int i = 0; i < 5; ++i) {
            result.candidates[i] = e.info.candidates[i];
            result.scores[i] = e.info.candidates[i] ? e.info.scores[i] : 0;
        }
        if (result.candidates[0] == 0) result.candidates[0] = e.info.code;
        return 0;
    }
    return 1;
}

int CGeneralRecog::RecognizeSelected(const EngineImage& image, RecogResult& result) {
    if (mainType_ != 1 || image.right <= image.left || image.bottom <= image.top || !image.rows) {
        lastStatus_ = 1;
        return 1;
    }
    std::memset(&result, 0, sizeof result);
    int r = 1;
    if (subType_ >= 0 && subType_ < kSubTypes && status_[static_cast<size_t>(subType_)] == 0) {
        switch (subType_) {
            case 0:
            case 1:
                r = RecognizeLine(image, result);
                break;
            case 2:
                r = prtMc_.Recognize(image, result) == 0 ? 0 : 1;
                break;
            case 8:
                r = grayId_.Recognize(image, filterType_, result);
                break;
            case 6:
            case 7:
            case 9:
            case 10:
            case 11:
                r = GrayEngine(subType_)->Recognize(image, result, filterType_);
                break;
            default:
                r = 1;
                break;  // 3, 4, 5: started, but nothing is recognised here
        }
    }
    lastStatus_ = r;
    return r;
}

namespace {
// Not destroyed by the static destructors at process exit: by then the
// engines' own libraries (Tesseract) may have torn down their globals, so
// stopping the engines is left to ResetGeneralRecog (called when the
// classifier is unloaded) and to the end of the process.
CGeneralRecog*& ManagerSlot() {
    static CGeneralRecog* manager = nullptr;
    return manager;
}
}  // namespace

std::recursive_mutex& EngineGate() {
    static std::recursive_mutex gate;
    return gate;
}

CGeneralRecog& GeneralRecog() {
    CGeneralRecog*& slot = ManagerSlot();
    if (!slot) slot = new CGeneralRecog();
    return *slot;
}

void ResetGeneralRecog() {
    CGeneralRecog*& slot = ManagerSlot();
    delete slot;
    slot = nullptr;
}

int RecognizeRegion(const CRawImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    CKernelInfo& engine, RecogResult& result) {
    try {
        if (!image.HasPixels() || image.width <= 0 || image.height <= 0) return 1;
        if (left >= right || top >= bottom) return 1;
        if (!engine.initialised) {
            const EngineGateLock gate(EngineGate());
            const int r =
                GeneralRecog().StartEngine(engine.mainType, engine.subType, EnsureEngineDirectory());
            if (r != 0) {
                if (engine.startFailure.empty()) {
                    engine.startFailure = "recognition engine (type " + std::to_string(engine.mainType) +
                                          "/" + std::to_string(engine.subType) + ") could not start";
                    if (!LastEngineFailure().empty()) engine.startFailure += ": " + LastEngineFailure();
                }
                return r;
            }
            engine.initialised = 1;
        }
        // Cropping into a separate image leaves the page untouched, so the
        // page itself is not copied first. The crop and its preprocessing
        // are this page's own work and run outside the engine gate.
        CRawImage cut;
        if (image.Crop(&cut, left, top, right, bottom) == 0 || !cut.HasPixels()) return 1;
        if (!ApplyImageProcessingList(cut, engine.preprocessing.get())) return 4;
        if (!cut.HasPixels() || cut.width <= 0 || cut.height <= 0) return 1;

        // The engine's region takes a mutable row table of its own.
        std::vector<uint8_t*> cutRows(static_cast<size_t>(cut.height));
        for (int32_t y = 0; y < cut.height; ++y) cutRows[static_cast<size_t>(y)] = cut.Row(y);
        EngineImage region;
        region.rows = cutRows.data();
        region.bitCount = cut.bitCount;
        region.width = cut.width;
        region.height = cut.height;
        region.left = 0;
        region.top = 0;
        region.right = cut.width;
        region.bottom = cut.height;
        // The selection and the recognition it is for, as one step.
        const EngineGateLock gate(EngineGate());
        CGeneralRecog& manager = GeneralRecog();
        manager.SelectEngine(engine.mainType, engine.subType, engine.filterType, engine.fillingMethod);
        if (!engine.filterPlus.empty() && engine.mainType == 2) manager.SetFormFilterPlus(engine.filterPlus);
        const int r = manager.RecognizeSelected(region, result);
        if (r != 0) return r;
        result.left = left;
        result.top = top;
        result.right = right;
        result.bottom = bottom;
        return 0;
    } catch (const std::bad_alloc&) {
        return 5;
    } catch (...) {
        return 1;
    }
}

}  // namespace libMorvaneClassifier
