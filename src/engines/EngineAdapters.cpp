#include "engines/EngineAdapters.h"

#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/EngineFiles.h"

namespace libMorvaneClassifier {

namespace {

// Data files are small configuration files; anything larger is refused
// rather than read into memory.
constexpr int64_t kMaxDataFileBytes = 64 * 1024 * 1024;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size <= 0 || st.st_size > kMaxDataFileBytes) return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.resize(static_cast<size_t>(st.st_size) + 1);
    size_t n = std::fread(out.data(), 1, static_cast<size_t>(st.st_size), f);
    std::fclose(f);
    if (n == 0) {
        out.clear();
        return false;
    }
    out.resize(n + 1);
    out[n] = 0;  // the engine reads the data as zero-terminated text
    return true;
}

// One GBK code (lead byte first; a single byte below 0x80 is ASCII) as a
// UTF-16 character; 0 when it does not convert.
uint16_t GbkToUtf16(const uint8_t code[2]) {
    if (code[0] == 0) return 0;
    if (code[0] < 0x80) return code[0];
    iconv_t cd = ::iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char in[2] = {static_cast<char>(code[0]), static_cast<char>(code[1])};
    char out[8] = {};
    char* pin = in;
    char* pout = out;
    size_t inLeft = 2, outLeft = sizeof out;
    size_t r = ::iconv(cd, &pin, &inLeft, &pout, &outLeft);
    ::iconv_close(cd);
    if (r == static_cast<size_t>(-1) || sizeof out - outLeft != 2) return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
}

// Region clamped to the image; false when nothing is left.
bool ClampRegion(const EngineImage& image, int32_t& l, int32_t& t, int32_t& r, int32_t& b) {
    if (!image.rows || image.width <= 0 || image.height <= 0) return false;
    l = std::max(image.left, 0);
    t = std::max(image.top, 0);
    r = std::min(image.right, image.width);
    b = std::min(image.bottom, image.height);
    return l < r && t < b;
}

}  // namespace

uint8_t EngineGrayAt(const EngineImage& image, int32_t x, int32_t y) {
    const uint8_t* row = image.rows[y];
    switch (image.bitCount) {
        case 1:
            return (row[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
        case 24: {
            const uint8_t* p = row + static_cast<size_t>(x) * 3;  // blue, green, red
            return static_cast<uint8_t>((p[0] * 114 + p[1] * 587 + p[2] * 299 + 500) / 1000);
        }
        default:
            return row[x];
    }
}

std::string& LastEngineFailure() {
    // Per thread: the engine start that failed tells the caller on its thread.
    static thread_local std::string failure;
    return failure;
}

bool OpenEngineLibrary(CDynamicLibrary& lib, EngineRole role) {
    if (lib.IsOpen()) return true;
    const std::string file = PlatformLibraryFileName(EngineFileName(role));
    const std::string path = FindEngineFile(file);
    if (path.empty()) {
        std::string searched;
        for (const std::string& d : EngineSearchDirectories()) searched += (searched.empty() ? "" : ", ") + d;
        LastEngineFailure() = "library " + file + " not found (searched " + searched + ")";
        return false;
    }
    if (!lib.OpenPath(path)) {
        LastEngineFailure() = "library " + path + " cannot be loaded";
        return false;
    }
    return true;
}

// ---- CPrtCcjk ----

CPrtCcjk::~CPrtCcjk() {
    if (ready_ && end_) end_();
}

int CPrtCcjk::Start(int32_t mode) {
    if (ready_) return 0;
    if (mode != 0 && mode != 1) return 2;
    if (!OpenEngineLibrary(lib_, EngineRole::PrintedLine)) return 1;
    using E = CPrtCcjk;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::start_>("RecogStart"), Keep<&E::end_>("RecogEnd"),
                                              Keep<&E::one_>("RecogOneRegion"),
                                              Keep<&E::oneEx_>("RecogOneRegionEx")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    int r = start_(0, mode, 0);
    ready_ = r == 0;
    return ready_ ? 0 : 1;
}

int CPrtCcjk::RecognizeLine(PrtLineRegion& region) {
    if (!ready_) return 1;
    return oneEx_(&region, 1, 1);
}

// ---- CPrtMC ----

CPrtMC::~CPrtMC() {
    if (ready_ && free_) free_();
}

int CPrtMC::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::PrintedChar)) return 1;
    using E = CPrtMC;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::load_>("LoadEnglishLibrary"),
                                              Keep<&E::free_>("FreeEnglishLibrary"),
                                              Keep<&E::recog_>("RecogSingleEng")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    ready_ = load_() == 0;
    return ready_ ? 0 : 1;
}

int CPrtMC::Recognize(const EngineImage& image, RecogResult& result) {
    if (!ready_) return 1;
    uint8_t record[PRTMC_RESULT_SIZE] = {};
    if (recog_(image.rows, image.left, image.top, image.right, image.bottom, 0, record) != 0) return 1;
    std::memcpy(&result.candidates[0], record + 8, 2);
    std::memcpy(&result.scores[0], record + 72, 2);
    return 0;
}

// ---- started-only line engines ----

CHandCHS::~CHandCHS() {
    if (ready_ && end_) end_();
}

int CHandCHS::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::Handwriting)) return 1;
    using E = CHandCHS;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::start_>("RecogStart"), Keep<&E::end_>("RecogEnd"),
                                              Need<E>("RecogOneRegion"), Need<E>("RecogOneRegionEx")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    ready_ = start_(0, 4, 0) == 0;
    return ready_ ? 0 : 1;
}

CHandDigital::~CHandDigital() {
    if (ready_ && end_) end_();
}

int CHandDigital::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::HandDigit)) return 1;
    using E = CHandDigital;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::start_>("RecogStart"), Keep<&E::end_>("RecogEnd"),
                                              Need<E>("RecogOneRegion"), Need<E>("RecogOneRegionEx"),
                                              Need<E>("SetCharset")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    ready_ = start_(0, 16, 1) == 0;
    return ready_ ? 0 : 1;
}

CGridHandDig::~CGridHandDig() {
    if (ready_ && end_) end_();
}

int CGridHandDig::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::GridDigit)) return 1;
    using E = CGridHandDig;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::start_>("RecogStart"), Keep<&E::end_>("RecogEnd"),
                                              Need<E>("SetCharType"), Need<E>("SetLatticeParam"),
                                              Need<E>("RecogOneRegion")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    ready_ = start_() == 0;
    return ready_ ? 0 : 1;
}

// ---- CGrayID ----

CGrayID::~CGrayID() {
    if (ready_ && free_) free_();
}

int CGrayID::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::GrayChinese)) return 1;
    using E = CGrayID;
    static const SymbolEntry<E> kSymbols[] = {
        Keep<&E::load_>("LoadGrayChineseLibrary"),      Keep<&E::familyName_>("RecogGrayChineseFamilyName"),
        Keep<&E::chineseEx_>("RecogGrayChineseCharEx"), Keep<&E::numberEx_>("RecogGrayNumberCharEx"),
        Keep<&E::chinese_>("RecogGrayChineseChar"),     Keep<&E::free_>("FreeGrayChineseLibrary")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    ready_ = load_(0, 0, 1) == 0;
    return ready_ ? 0 : 1;
}

int CGrayID::Recognize(const EngineImage& image, int32_t filterType, RecogResult& result) {
    if (!ready_) return 1;
    const int32_t w = image.right - image.left;
    const int32_t h = image.bottom - image.top;
    if (w <= 0 || h <= 0) return 1;
    GrayIdImage record{};
    record.rows = image.rows;
    record.top = image.top;
    record.bottom = image.bottom;
    record.left = image.left;
    record.right = image.right;
    record.width = w;
    record.height = h;
    GrayIdResult out{};
    int r;
    switch (filterType) {
        case 0:
            r = chinese_(&record, &out, 0, 4408);
            break;
        case 1:
            r = chinese_(&record, &out, 4399, 4408);
            break;
        case 2:
            r = familyName_(&record, &out);
            break;
        case 3:
            r = numberEx_(&record, &out);
            break;
        case 4:
            r = chineseEx_(&record, &out);
            break;
        default:
            return 1;
    }
    if (r != 0) return 1;
    for (int i = 0; i < 9; ++i) {
        result.candidates[i] = GbkToUtf16(out.codes[i]);
        result.scores[i] = out.scores[i];
    }
    return 0;
}

// ---- gray-character family ----

CGrayChar::~CGrayChar() { End(); }

int CGrayChar::Init() {
    if (ready_) return 0;
    End();
    if (!OpenEngineLibrary(lib_, EngineRole::GrayCore)) return 1;
    using E = CGrayChar;
    static const SymbolEntry<E> kSymbols[] = {
        Keep<&E::init_>("GrayOcr_KernelInit"), Keep<&E::end_>("GrayOcr_KernelEnd"),
        Keep<&E::setRange_>("GrayOcr_SetRange"), Keep<&E::recognize_>("GrayOcr_Recognize")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    if (!ReadWholeFile(FindEngineFile(dataFile_), data_)) return 1;
    work_.reset(new uint8_t[GRAYOCR_WORK_SIZE]());
    if (init_(work_.get(), GRAYOCR_WORK_SIZE, data_.data()) != 0) {
        work_.reset();
        data_.clear();
        return 1;
    }
    if (setRange_(255, work_.get()) != 0) {
        end_(work_.get());
        work_.reset();
        data_.clear();
        return 1;
    }
    ready_ = true;
    return 0;
}

void CGrayChar::End() {
    if (ready_ && end_ && work_) end_(work_.get());
    ready_ = false;
    work_.reset();
    data_.clear();
    data_.shrink_to_fit();
}

int CGrayChar::Recognize(const EngineImage& image, RecogResult& result, int32_t filterType) {
    const int32_t range = RangeFromFilter(filterType);
    if (!ready_ || range == 0 || setRange_(range, work_.get()) != 0) return 1;
    int32_t l, t, r, b;
    if (!ClampRegion(image, l, t, r, b)) return 1;
    const int32_t w = std::min(r - l, GRAYOCR_MAX_SIDE);
    const int32_t h = std::min(b - t, GRAYOCR_MAX_SIDE);
    // Packed bytes, one per pixel: 1-bit and 24-bit images are converted to
    // gray levels first instead of being copied as raw bytes.
    std::vector<uint8_t> buffer(65536, 0);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* dst = buffer.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        if (image.bitCount == 8) {
            std::memcpy(dst, image.rows[t + y] + l, static_cast<size_t>(w));
        } else {
            for (int32_t x = 0; x < w; ++x) dst[x] = EngineGrayAt(image, l + x, t + y);
        }
    }
    return recognize_(buffer.data(), h, w, result.candidates, result.scores, work_.get()) == 0 ? 0 : 1;
}

// ---- main types 2 and 3 ----

CFormEngine::~CFormEngine() {
    if (ready_ && quit_) quit_();
}

int CFormEngine::Start() {
    if (ready_) return 0;
    if (!OpenEngineLibrary(lib_, EngineRole::FormKernel)) return 1;
    using E = CFormEngine;
    static const SymbolEntry<E> kSymbols[] = {Keep<&E::init_>("frInit"),
                                              Need<E>("frFreeFormTemplate"),
                                              Need<E>("frGetChoiceStr"),
                                              Need<E>("frGetLetters"),
                                              Need<E>("frFreeImg"),
                                              Need<E>("frRecognize"),
                                              Need<E>("frSetRejectionSymbol"),
                                              Need<E>("frInsertZone"),
                                              Need<E>("frDeleteAllZones"),
                                              Need<E>("frStopWriteImg"),
                                              Need<E>("frWriteImg"),
                                              Need<E>("frStartWriteImg"),
                                              Need<E>("frSetImgFormat"),
                                              Keep<&E::setFilterPlus_>("frSetFilterPlus"),
                                              Need<E>("frSetLanguagesPlus"),
                                              Keep<&E::quit_>("frQuit"),
                                              Need<E>("frFree"),
                                              Need<E>("frSetLanguages")};
    if (!BindSymbols(lib_, kSymbols, *this)) return 1;
    const int r = init_(0, 0);
    if (r == 0 || r == 312324) {
        ready_ = true;
        return 0;
    }
    quit_();
    return 1;
}

void CFormEngine::SetFilterPlus(const std::u16string& characters) {
    if (!ready_ || !setFilterPlus_) return;
    setFilterPlus_(reinterpret_cast<const uint16_t*>(characters.c_str()));
}

CBarCode::~CBarCode() {
    if (ready_ && freeSdk_) freeSdk_();
}

int CBarCode::Start() {
    if (ready_) return 0;
    if (!registered_) {
        if (!OpenEngineLibrary(control_, EngineRole::BarcodeControl)) return 1;
        using E = CBarCode;
        static const SymbolEntry<E> kControl[] = {Keep<&E::register_>("DllRegisterServer")};
        if (!BindSymbols(control_, kControl, *this) || register_() != 0) return 1;
        registered_ = true;
    }
    if (!OpenEngineLibrary(reader_, EngineRole::BarcodeReader)) return 1;
    using E = CBarCode;
    static const SymbolEntry<E> kReader[] = {
        Keep<&E::loadSdk_>("LoadSDK"),   Keep<&E::freeSdk_>("FreeSDK"),  Need<E>("BarcodeResult"),
        Need<E>("BarcodeAnalyzeMemory"), Need<E>("BarcodeAnalyzeImage"), Need<E>("BarcodeRecogRegionImg")};
    if (!BindSymbols(reader_, kReader, *this)) return 1;
    ready_ = loadSdk_() == 0;
    return ready_ ? 0 : 1;
}

}  // namespace libMorvaneClassifier
