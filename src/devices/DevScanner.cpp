#include "devices/DevScanner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/EngineFiles.h"
#include "platform/PlatformProcesses.h"

#ifndef MORVANE_SCANNER_DIR_OVERRIDE
#define MORVANE_SCANNER_DIR_OVERRIDE ""
#endif
#ifndef MORVANE_INSTALL_LIBDIR_NAME
#define MORVANE_INSTALL_LIBDIR_NAME "lib"
#endif

namespace libMorvaneClassifier {

std::string ScannerSystemDirectory() {
    if (MORVANE_SCANNER_DIR_OVERRIDE[0] != 0) return MORVANE_SCANNER_DIR_OVERRIDE;
    const std::string own = OwnModuleDirectory();
    if (own.empty()) return std::string();
    // Beside the library in a build tree, below it in an install, and for a
    // program that carries the library code itself, in the library folder
    // beside the program's own folder (<prefix>/bin -> <prefix>/lib).
    const std::string candidates[] = {own + "plugins", own + "morvane/scanners",
                                      own + "../" MORVANE_INSTALL_LIBDIR_NAME "/morvane/scanners"};
    for (const std::string& dir : candidates)
        if (IsDirectoryPath(dir)) return dir;
    return own + "morvane/scanners";
}

namespace {

// A configured library name as a path below a directory: the platform file
// name with the leading separators dropped (the driver path is written as
// "\Driver.dll").
std::string RelativeLibraryPath(const std::u16string& configured) {
    std::string file = PlatformLibraryFileName(AnsiText(configured));
    const size_t first = file.find_first_not_of('/');
    return first == std::string::npos ? std::string() : file.substr(first);
}

// The scanner whose source the scanning library has selected last. The
// library serves one scanner at a time, so a scanner that shares it with
// another selects its own source again before it scans.
const CDevScanner* selectedScanner = nullptr;

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::min<int64_t>(
        std::max<int64_t>(value, std::numeric_limits<int32_t>::min()), std::numeric_limits<int32_t>::max()));
}

}  // namespace

CDevScanner::~CDevScanner() {
    if (selectedScanner == this) selectedScanner = nullptr;
}

bool CDevScanner::SelectSource() {
    CDevScannerInfo* info = ScannerInfo();
    if (!info || !library_) return false;
    const std::string name = AnsiText(info->name);
    if (library_->TwainSelectSourceEx(0, name.c_str()) == 0) return false;
    library_->TwainSetSourceName(name.c_str(), 0);
    selectedScanner = this;
    return true;
}

bool CDevScanner::EnsureSelected() { return selectedScanner == this || SelectSource(); }

CDevScannerInfo* CDevScanner::ScannerInfo() { return dynamic_cast<CDevScannerInfo*>(GetInfo()); }

std::string CDevScanner::SystemDirectory() {
    const CDevScannerInfo* info = ScannerInfo();
    if (info && !info->systemDirectory.empty()) return AnsiText(info->systemDirectory);
    return ScannerSystemDirectory();
}

bool CDevScanner::IsPresent() {
    CDevScannerInfo* info = ScannerInfo();
    if (!info) return false;
    const std::string driver = RelativeLibraryPath(info->driverPath);
    if (driver.empty()) return false;
    CDynamicLibrary library;
    if (!library.OpenPath(JoinPath(SystemDirectory(), driver))) return false;
    // The driver library's functions this check calls, and those it must
    // have to be a driver at all.
    struct Driver {
        InitializeScannerFn initializeScanner = nullptr;
        InitializeDriverFn initializeDriver = nullptr;
        GetScannerAbilityFn ability = nullptr;
        TerminateDriverFn terminate = nullptr;
    };
    static const SymbolEntry<Driver> kSymbols[] = {Keep<&Driver::initializeScanner>("InitializeScanner"),
                                                   Keep<&Driver::initializeDriver>("InitializeDriver"),
                                                   Need<Driver>("GetScannerAbilityEx"),
                                                   Keep<&Driver::ability>("GetScannerAbility"),
                                                   Need<Driver>("GetScannerStatus"),
                                                   Keep<&Driver::terminate>("TerminateDriver")};
    Driver fns;
    if (!BindSymbols(library, kSymbols, fns)) return false;
    auto initializeScanner = fns.initializeScanner;
    auto initializeDriver = fns.initializeDriver;
    auto ability = fns.ability;
    auto terminate = fns.terminate;

    bool present = false;
    if (initializeDriver() != 0 && initializeScanner() != 0) {
        MorvaneScannerAbility record;
        std::memset(&record, 0, sizeof(record));
        if (ability(&record) != 0) {
            // The library may have filled the whole name field.
            record.name[sizeof(record.name) - 1] = '\0';
            present = std::string(record.name).find(AnsiText(info->name)) != std::string::npos;
        }
    }
    terminate();
    return present;  // the library is unloaded here
}

int32_t CDevScanner::Open(const std::u16string& workingDirectory) {
    if (!IsPresent()) return kDeviceNotPresent;
    CDevScannerInfo* info = ScannerInfo();
    if (!info) return kDeviceNotOpened;
    if (!library_) {
        library_.reset(new (std::nothrow) CScanLibraryManager);
        if (!library_) return kDeviceNotOpened;
    }
    if (!library_->IsLoaded()) {
        const std::string file = RelativeLibraryPath(
            info->scanLibrary.empty() ? std::u16string(CDevScannerInfo::kDefaultScanLibrary)
                                      : info->scanLibrary);
        const std::string configured = AnsiText(info->scanLibrary);
        bool loaded = !file.empty() && library_->Load(JoinPath(AnsiText(workingDirectory), file));
        // A bare file name that is not in the working directory is looked for
        // among the plug-ins.
        if (!loaded && !file.empty() && configured.find_first_of("/\\") == std::string::npos)
            loaded = library_->Load(JoinPath(SystemDirectory(), file));
        if (!loaded) {
            library_.reset();
            return kDeviceNotOpened;
        }
    }
    if (!SelectSource()) return kDeviceFailed;
    SetOpened(true);
    return kDeviceOk;
}

void CDevScanner::Close() {
    // Also a device whose Open failed after loading the library lets it go.
    library_.reset();
    if (selectedScanner == this) selectedScanner = nullptr;
    SetOpened(false);
}

ScanStartValues CDevScanner::StartValues() const {
    const auto* info = dynamic_cast<const CDevScannerInfo*>(PeekInfo());
    if (!info) {
        CDevScannerInfo defaults;
        return {0, defaults.showUI, defaults.imageType, defaults.resolution, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    return {0,
            info->showUI,
            info->imageType,
            info->resolution,
            info->attribute3,
            info->attribute4,
            info->rangeLeft,
            info->rangeTop,
            info->rangeWidth,
            info->rangeHeight,
            info->rotate,
            info->invert,
            info->autoCrop,
            info->autoRotate,
            info->autoDuplex};
}

void CDevScanner::StartScan() { library_->TwainScanStart(StartValues()); }

int32_t CDevScanner::Capture() {
    if (!IsOpened() || !library_ || !library_->IsLoaded()) return kDeviceNotOpened;
    // The previous page's image is kept aside to take the next page: a page
    // of the same size then needs no new memory.
    std::unique_ptr<CRawImage> reuse = TakeCapturedImages();
    const CDevScannerInfo* info = ScannerInfo();
    if (!info) return kDeviceNotOpened;
    if (!EnsureSelected()) return kDeviceFailed;
    StartScan();
    library_->TwainSetADVParameter(info->imageType == 0 ? 1 : 0, info->filterColor, 0);

    unsigned char* buffer = nullptr;
    int width = 0, height = 0, bitCount = 0, bytesPerRow = 0;
    if (library_->TwainScanImageMemory(&buffer, &width, &height, &bitCount, &bytesPerRow) == 0) {
        library_->TwainScanEnd();
        std::free(buffer);
        return kDeviceFailed;
    }
    // A multi-page scan stays started while the feeder holds paper.
    if (library_->TwainHavePaper() == 0) library_->TwainScanEnd();
    const int32_t result = AppendPage(std::move(reuse), buffer, width, height, bitCount, bytesPerRow);
    std::free(buffer);  // the scanning library allocates pages with malloc
    return result;
}

int32_t CDevScanner::AppendPage(std::unique_ptr<CRawImage> image, const unsigned char* buffer, int width,
                                int height, int bitCount, int bytesPerRow) {
    if (!buffer || width <= 0 || height <= 0 || bytesPerRow <= 0) return kDeviceFailed;
    if (bitCount != 1 && bitCount != 8 && bitCount != 24) return kDeviceFailed;
    if (width > kMaxScanPageSide || height > kMaxScanPageSide) return kDeviceFailed;
    // Bytes that carry the pixels of one row; the delivered rows must hold them.
    const int64_t pixelBytes = (int64_t{width} * bitCount + 7) / 8;
    if (bytesPerRow < pixelBytes) return kDeviceFailed;
    if (int64_t{height} * bytesPerRow > kMaxScanPageBytes) return kDeviceFailed;

    if (!image) image.reset(new (std::nothrow) CRawImage);
    if (!image) return kDeviceFailed;
    // Every byte of a reused image of the same geometry is written below, so
    // only a new geometry goes through Create (which clears the pixels).
    const bool sameGeometry = image->HasPixels() && image->width == width && image->height == height &&
                              image->bitCount == bitCount &&
                              image->bytesPerRow == CDib::RowBytes(width, bitCount);
    if (!sameGeometry && !image->Create(width, height, bitCount, 300)) return kDeviceFailed;
    // A reused image keeps its resolution and name through Create.
    image->xResolution = image->yResolution = 300;
    image->SetFileName(u"");
    // Row by row: the delivered row length need not be the image's own.
    const size_t copy = static_cast<size_t>(pixelBytes);
    const size_t padding = static_cast<size_t>(image->bytesPerRow) - copy;
    for (int y = 0; y < height; ++y) {
        std::memcpy(image->Row(y), buffer + static_cast<size_t>(y) * static_cast<size_t>(bytesPerRow), copy);
        std::memset(image->Row(y) + copy, 0, padding);
    }
    if (bitCount == 1 && width % 8 != 0) {
        // Bits past the last pixel are not pixels: keep them white.
        const uint8_t mask = static_cast<uint8_t>(0xFF00 >> (width % 8));
        for (int y = 0; y < height; ++y) image->Row(y)[width / 8] &= mask;
    }
    return AppendCapturedImage(std::move(image)) ? kDeviceOk : kDeviceFailed;
}

int32_t CDevScanner::SetCapturedAttribute(int32_t attribute, int32_t value) {
    if (!IsOpened() || !library_) return kDeviceNotOpened;
    CDevScannerInfo* info = ScannerInfo();
    if (!info) return kDeviceNotOpened;
    switch (attribute) {
        case 0:
            info->autoCrop = value;
            break;
        case 1:
            info->autoDuplex = value;
            break;
        case 2:
            info->autoRotate = value;
            break;
        case 3:
            info->attribute3 = value;
            break;
        case 4:
            info->attribute4 = value;
            break;
        case 5:
            info->filterColor = value;
            break;
        case 6:
            info->invert = value;
            break;
        case 7:
            info->showUI = value;
            break;
        case 8:
            info->rotate = value;
            break;
        case 9:
            info->imageType = value;
            break;
        case 10:
            info->resolution = value;
            break;
        default:
            break;
    }
    EnsureSelected();
    library_->TwainScanEnd();
    StartScan();
    return kDeviceOk;
}

int32_t CDevScanner::SetCapturedRange(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!IsOpened() || !library_) return kDeviceNotOpened;
    CDevScannerInfo* info = ScannerInfo();
    if (!info) return kDeviceNotOpened;
    info->rangeLeft = left;
    info->rangeTop = top;
    // In 64 bits: right - left may not fit 32.
    info->rangeWidth = ClampToInt32(std::max<int64_t>(int64_t{right} - left, 0));
    info->rangeHeight = ClampToInt32(std::max<int64_t>(int64_t{bottom} - top, 0));
    EnsureSelected();
    library_->TwainScanEnd();
    StartScan();
    return kDeviceOk;
}

int32_t CDevScanner::HavePaper() {
    if (!IsOpened() || !library_) return kDeviceNotOpened;
    if (!EnsureSelected()) return kDeviceNoPaper;
    return library_->TwainHavePaper() != 0 ? kDeviceOk : kDeviceNoPaper;
}

}  // namespace libMorvaneClassifier
