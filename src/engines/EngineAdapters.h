// Adapters between the engine manager and the recognition libraries loaded
// at run time. Each adapter loads its library once, resolves its functions
// and reports 1 when the library or any function is missing.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/EngineAbi.h"
#include "engines/EngineSettings.h"
#include "engines/KernelInfo.h"
#include "platform/DynamicLibrary.h"

namespace libMorvaneClassifier {

// An image region handed to an adapter: the rows of the whole (cropped)
// image, its bit count and size, and the region inside it (right and
// bottom exclusive).
struct EngineImage {
    uint8_t** rows = nullptr;
    int32_t bitCount = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Gray level (0 black, 255 white) of pixel (x, y) of a 1-, 8- or 24-bit
// image; x and y must be inside it.
uint8_t EngineGrayAt(const EngineImage& image, int32_t x, int32_t y);

// Loads the library of a role (searched in the engine directories).
bool OpenEngineLibrary(CDynamicLibrary& lib, EngineRole role);
// Why the last engine library could not be opened (which file, where it was
// looked for); kept until the next failure.
std::string& LastEngineFailure();

// Sub types 0 and 1: printed-text line engine.
class CPrtCcjk {
public:
    virtual ~CPrtCcjk();
    // RecogStart(0, mode, 0); 2 for a mode other than 0 or 1.
    int Start(int32_t mode);
    // Runs the line engine over the region; 0 when the engine succeeded.
    int RecognizeLine(PrtLineRegion& region);
    bool Ready() const { return ready_; }

private:
    CDynamicLibrary lib_;
    PrtRecogStartFn start_ = nullptr;
    PrtRecogEndFn end_ = nullptr;
    PrtRecogOneRegionFn one_ = nullptr;
    PrtRecogOneRegionFn oneEx_ = nullptr;
    bool ready_ = false;
};

// Sub type 2: single printed Latin character engine.
class CPrtMC {
public:
    virtual ~CPrtMC();
    int Start();
    // RecogSingleEng on the region; the best candidate and its score are
    // taken from bytes 8 and 72 of the engine's record. 0 on success.
    int Recognize(const EngineImage& image, RecogResult& result);
    bool Ready() const { return ready_; }

private:
    CDynamicLibrary lib_;
    PrtMcLoadFn load_ = nullptr;
    PrtMcFreeFn free_ = nullptr;
    PrtMcRecogFn recog_ = nullptr;
    bool ready_ = false;
};

// Sub types 3, 4, 5: started only; nothing is recognised through them.
class CHandCHS {
public:
    virtual ~CHandCHS();
    int Start();

private:
    CDynamicLibrary lib_;
    PrtRecogStartFn start_ = nullptr;
    PrtRecogEndFn end_ = nullptr;
    bool ready_ = false;
};

class CHandDigital {
public:
    virtual ~CHandDigital();
    int Start();

private:
    CDynamicLibrary lib_;
    PrtRecogStartFn start_ = nullptr;
    PrtRecogEndFn end_ = nullptr;
    bool ready_ = false;
};

class CGridHandDig {
public:
    virtual ~CGridHandDig();
    int Start();

private:
    CDynamicLibrary lib_;
    PrtRecogStartNoArgFn start_ = nullptr;
    PrtRecogEndFn end_ = nullptr;
    bool ready_ = false;
};

// Sub type 8: gray-image Chinese characters and numbers.
class CGrayID {
public:
    virtual ~CGrayID();
    int Start();
    // Dispatches on the filter type; nine GBK candidates become UTF-16.
    int Recognize(const EngineImage& image, int32_t filterType, RecogResult& result);
    bool Ready() const { return ready_; }

private:
    CDynamicLibrary lib_;
    GrayIdLoadFn load_ = nullptr;
    GrayIdRecogFn familyName_ = nullptr;
    GrayIdRecogFn chineseEx_ = nullptr;
    GrayIdRecogFn numberEx_ = nullptr;
    GrayIdRecogRangeFn chinese_ = nullptr;
    GrayIdFreeFn free_ = nullptr;
    bool ready_ = false;
};

// Gray-character family (GrayCore): one engine instance per data file.
class CGrayChar {
public:
    explicit CGrayChar(std::string dataFile) : dataFile_(std::move(dataFile)) {}
    virtual ~CGrayChar();
    // Resolves the functions, reads the data file and starts the engine with
    // the full range. 0 when ready.
    virtual int Init();
    // Stops the engine and releases its data.
    virtual void End();
    // Recognises the region (cut to its top-left 255 x 255 pixels) with the
    // range chosen by the filter type. 0 on success, 1 on failure.
    virtual int Recognize(const EngineImage& image, RecogResult& result, int32_t filterType);
    virtual int32_t RangeFromFilter(int32_t filterType) const = 0;
    bool Ready() const { return ready_; }
    const std::string& DataFile() const { return dataFile_; }

private:
    std::string dataFile_;
    CDynamicLibrary lib_;
    GrayOcrKernelInitFn init_ = nullptr;
    GrayOcrKernelEndFn end_ = nullptr;
    GrayOcrSetRangeFn setRange_ = nullptr;
    GrayOcrRecognizeFn recognize_ = nullptr;
    std::vector<uint8_t> data_;
    std::unique_ptr<uint8_t[]> work_;
    bool ready_ = false;
};

class CGrayPassport : public CGrayChar {
public:
    CGrayPassport() : CGrayChar("grayocr_pspt.lib") {}
    int32_t RangeFromFilter(int32_t) const override { return 0xFFFF; }
};
class CGrayGeneral : public CGrayChar {
public:
    CGrayGeneral() : CGrayChar(EngineFileName(EngineRole::GrayGeneralData)) {}
    int32_t RangeFromFilter(int32_t f) const override { return f > 0 ? f : 0; }
};
class CGrayDP : public CGrayChar {
public:
    CGrayDP() : CGrayChar("grayocr_driver_license.lib") {}
    int32_t RangeFromFilter(int32_t f) const override { return (f & 3) != 0 ? f : 0; }
};
class CGrayLP : public CGrayChar {
public:
    CGrayLP() : CGrayChar("grayocr_lp.lib") {}
    int32_t RangeFromFilter(int32_t f) const override { return (f & 7) != 0 ? f : 0; }
};
class CGrayNumChar : public CGrayChar {
public:
    CGrayNumChar() : CGrayChar("grayocr_num_char.lib") {}
    int32_t RangeFromFilter(int32_t f) const override { return (f & 3) != 0 ? f : 0; }
};

// Main type 2: the form-recognition engine; started only.
class CFormEngine {
public:
    virtual ~CFormEngine();
    int Start();
    // frSetFilterPlus; nothing when the engine is not started.
    void SetFilterPlus(const std::u16string& characters);
    bool Ready() const { return ready_; }

private:
    CDynamicLibrary lib_;
    FormInitFn init_ = nullptr;
    FormVoidFn quit_ = nullptr;
    FormSetFilterPlusFn setFilterPlus_ = nullptr;
    bool ready_ = false;
};

// Main type 3: the barcode engine; started only.
class CBarCode {
public:
    virtual ~CBarCode();
    int Start();
    bool Ready() const { return ready_; }

private:
    CDynamicLibrary control_;
    CDynamicLibrary reader_;
    BarcodeRegisterFn register_ = nullptr;
    BarcodeLoadSdkFn loadSdk_ = nullptr;
    FormVoidFn freeSdk_ = nullptr;
    bool registered_ = false;
    bool ready_ = false;
};

}  // namespace libMorvaneClassifier
