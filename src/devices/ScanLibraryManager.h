// The scanning library of a scanner device, loaded at run time, with its
// nine functions. Every forwarding call answers 0 without calling anything
// while no library is loaded.
#pragma once
#include <cstdint>
#include <string>

#include "devices/ScanLibraryApi.h"
#include "platform/DynamicLibrary.h"

namespace libMorvaneClassifier {

// The fifteen values every scan start sends, in their order.
struct ScanStartValues {
    int32_t reserved, showUI, imageType, resolution, attribute3, attribute4, left, top, width, height, rotate,
        invert, autoCrop, autoRotate, autoDuplex;
};

class CScanLibraryManager {
public:
    CScanLibraryManager() = default;
    ~CScanLibraryManager();
    CScanLibraryManager(const CScanLibraryManager&) = delete;
    CScanLibraryManager& operator=(const CScanLibraryManager&) = delete;

    // Loads the library at `path` and resolves all nine functions; false
    // (and nothing loaded) when the file cannot be loaded or lacks one.
    bool Load(const std::string& path);
    void Unload();
    bool IsLoaded() const { return loaded_; }

    int TwainSelectSource();
    int TwainScanStart(const ScanStartValues& v);
    int TwainScanImageMemory(unsigned char** buffer, int* width, int* height, int* bitCount,
                             int* bytesPerRow);
    int TwainScanEnd();
    int TwainHavePaper();
    int TwainSelectSourceEx(int reserved, const char* name);
    int TwainSetSourceName(const char* name, int reserved);
    int IsScanOnline();
    int TwainSetADVParameter(int blackWhite, int filterColor, int reserved);

private:
    // Binds the nine functions from module_ by the one symbol table (all
    // null when the module is closed or lacks one); true when all exist.
    bool BindFunctions();

    CDynamicLibrary module_;
    bool loaded_ = false;
    TwainSelectSourceFn selectSource_ = nullptr;
    TwainScanStartFn scanStart_ = nullptr;
    TwainScanImageMemoryFn scanImageMemory_ = nullptr;
    TwainScanEndFn scanEnd_ = nullptr;
    TwainHavePaperFn havePaper_ = nullptr;
    TwainSelectSourceExFn selectSourceEx_ = nullptr;
    TwainSetSourceNameFn setSourceName_ = nullptr;
    IsScanOnlineFn isScanOnline_ = nullptr;
    TwainSetADVParameterFn setAdvParameter_ = nullptr;
};

}  // namespace libMorvaneClassifier
