#include "devices/ScanLibraryManager.h"

namespace libMorvaneClassifier {

CScanLibraryManager::~CScanLibraryManager() { Unload(); }

bool CScanLibraryManager::Load(const std::string& path) {
    Unload();
    if (!module_.OpenPath(path)) return false;
    loaded_ = BindFunctions();
    if (!loaded_) Unload();
    return loaded_;
}

bool CScanLibraryManager::BindFunctions() {
    using M = CScanLibraryManager;
    static const SymbolEntry<M> kSymbols[] = {Keep<&M::selectSource_>("TwainSelectSource"),
                                              Keep<&M::scanStart_>("TwainScanStart"),
                                              Keep<&M::scanImageMemory_>("TwainScanImageMemory"),
                                              Keep<&M::scanEnd_>("TwainScanEnd"),
                                              Keep<&M::havePaper_>("TwainHavePaper"),
                                              Keep<&M::selectSourceEx_>("TwainSelectSourceEx"),
                                              Keep<&M::setSourceName_>("TwainSetSourceName"),
                                              Keep<&M::isScanOnline_>("IsScanOnline"),
                                              Keep<&M::setAdvParameter_>("TwainSetADVParameter")};
    return BindSymbols(module_, kSymbols, *this);
}

void CScanLibraryManager::Unload() {
    // A scan left started (a feeder page waiting) is ended before the
    // library goes: unloading alone need not reach the library's clean-up.
    if (loaded_) scanEnd_();
    loaded_ = false;
    module_.Close();
    BindFunctions();  // every function null again
}

int CScanLibraryManager::TwainSelectSource() { return loaded_ ? selectSource_() : 0; }

int CScanLibraryManager::TwainScanStart(const ScanStartValues& v) {
    if (!loaded_) return 0;
    return scanStart_(v.reserved, v.showUI, v.imageType, v.resolution, v.attribute3, v.attribute4, v.left,
                      v.top, v.width, v.height, v.rotate, v.invert, v.autoCrop, v.autoRotate, v.autoDuplex);
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
