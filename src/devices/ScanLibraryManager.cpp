#include "devices/ScanLibraryManager.h"

namespace libMorvaneClassifier {

CScanLibraryManager::~CScanLibraryManager() { Unload(); }

bool CScanLibraryManager::Load(const std::string& path) {
    Unload();
    if (!module_.OpenPath(path)) return false;
    selectSource_ = module_.Function<TwainSelectSourceFn>("TwainSelectSource");
    scanStart_ = module_.Function<TwainScanStartFn>("TwainScanStart");
    scanImageMemory_ = module_.Function<TwainScanImageMemoryFn>("TwainScanImageMemory");
    scanEnd_ = module_.Function<TwainScanEndFn>("TwainScanEnd");
    havePaper_ = module_.Function<TwainHavePaperFn>("TwainHavePaper");
    selectSourceEx_ = module_.Function<TwainSelectSourceExFn>("TwainSelectSourceEx");
    setSourceName_ = module_.Function<TwainSetSourceNameFn>("TwainSetSourceName");
    isScanOnline_ = module_.Function<IsScanOnlineFn>("IsScanOnline");
    setAdvParameter_ = module_.Function<TwainSetADVParameterFn>("TwainSetADVParameter");
    loaded_ = selectSource_ && scanStart_ && scanImageMemory_ && scanEnd_ && havePaper_ && selectSourceEx_ &&
              setSourceName_ && isScanOnline_ && setAdvParameter_;
    if (!loaded_) Unload();
    return loaded_;
}

void CScanLibraryManager::Unload() {
    // A scan left started (a feeder page waiting) is ended before the
    // library goes: unloading alone need not reach the library's clean-up.
    if (loaded_) scanEnd_();
    loaded_ = false;
    selectSource_ = nullptr;
    scanStart_ = nullptr;
    scanImageMemory_ = nullptr;
    scanEnd_ = nullptr;
    havePaper_ = nullptr;
    selectSourceEx_ = nullptr;
    setSourceName_ = nullptr;
    isScanOnline_ = nullptr;
    setAdvParameter_ = nullptr;
    module_.Close();
}

int CScanLibraryManager::TwainSelectSource() { return loaded_ ? selectSource_() : 0; }

int CScanLibraryManager::TwainScanStart(const ScanStartValues& v) {
    if (!loaded_) return 0;
    return scanStart_(v.reserved, v.showUI, v.imageType, v.resolution, v.attribute3, v.attribute4, v.left, v.top,
                      v.width, v.height, v.rotate, v.invert, v.autoCrop, v.autoRotate, v.autoDuplex);
}

int CScanLibraryManager::TwainScanImageMemory(unsigned char** buffer, int* width, int* height, int* bitCount,
                                              int* bytesPerRow) {
    return loaded_ ? scanImageMemory_(buffer, width, height, bitCount, bytesPerRow) : 0;
}

int CScanLibraryManager::TwainScanEnd() { return loaded_ ? scanEnd_() : 0; }
int CScanLibraryManager::TwainHavePaper() { return loaded_ ? havePaper_() : 0; }

int CScanLibraryManager::TwainSelectSourceEx(int reserved, const char* name) {
    return loaded_ ? selectSourceEx_(reserved, name) : 0;
}

int CScanLibraryManager::TwainSetSourceName(const char* name, int reserved) {
    return loaded_ ? setSourceName_(name, reserved) : 0;
}

int CScanLibraryManager::IsScanOnline() { return loaded_ ? isScanOnline_() : 0; }

int CScanLibraryManager::TwainSetADVParameter(int blackWhite, int filterColor, int reserved) {
    return loaded_ ? setAdvParameter_(blackWhite, filterColor, reserved) : 0;
}

}  // namespace libMorvaneClassifier
