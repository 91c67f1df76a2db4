// Device type 2: a document scanner reached through two outside libraries
// (see devices/ScanLibraryApi.h). The driver library, found under the
// scanner system directory, tells whether the configured scanner is
// attached; the scanning library, found in the working directory (or, when
// it is not there, in the scanner system directory), scans the pages.
#pragma once
#include <memory>
#include <string>

#include "devices/Device.h"
#include "devices/ScanLibraryManager.h"

namespace libMorvaneClassifier {

// Directory of the scanner plug-ins used when the "Scanner" element names
// none: fixed when the library is built (the build tree's plug-in folder
// unless configured otherwise).
std::string ScannerSystemDirectory();

// Largest page the device accepts from a scanning library: either side at
// most this many pixels, and at most kMaxScanPageBytes of pixel data.
constexpr int32_t kMaxScanPageSide = 65536;
constexpr int64_t kMaxScanPageBytes = int64_t{1} << 30;

class CDevScanner : public CDevice {
public:
    CDevScanner() : CDevice(kDeviceScanner) {}
    ~CDevScanner() override;
    // 0 opened; 1 scanner not present; 2 scanning library missing or
    // lacking a function; 3 the scanner cannot be selected.
    int32_t Open(const std::u16string& workingDirectory) override;
    // Asks the driver library whether a scanner whose description contains
    // the configured Name is attached. The driver library is unloaded again.
    bool IsPresent() override;
    // Ends any scan, unloads the scanning library and clears the opened flag; the
    // configuration record is kept.
    void Close() override;
    // Scans one page into the captured images: 0 appended; 2 not opened;
    // 3 the scan failed or delivered no usable page (nothing appended).
    int32_t Capture() override;
    // Stores a scan value by number (0 auto crop, 1 auto duplex, 2 auto
    // rotate, 3 attribute 3, 4 attribute 4, 5 filter colour, 6 invert, 7 show
    // UI, 8 rotate, 9 image type, 10 resolution; others change nothing) and
    // restarts the scan. 0, or 2 when not opened.
    int32_t SetCapturedAttribute(int32_t attribute, int32_t value) override;
    // Stores the scan area (width and height raised to at least 0) and
    // restarts the scan. 0, or 2 when not opened.
    int32_t SetCapturedRange(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // 0 a page is waiting; 4 none; 2 not opened.
    int32_t HavePaper() override;

    // The fifteen values of a scan start, from the configuration record.
    ScanStartValues StartValues() const;
    const CScanLibraryManager* Library() const { return library_.get(); }

private:
    CDevScannerInfo* ScannerInfo();
    std::string SystemDirectory();
    void StartScan();
    // Selects this scanner's source in the scanning library (by Name).
    bool SelectSource();
    // Selects it again when another scanner selected its own since.
    bool EnsureSelected();
    // Copies a delivered page into a new captured image; 0 appended, 3 not.
    // `image` (may be null) is reused for the page when given.
    int32_t AppendPage(std::unique_ptr<CRawImage> image, const unsigned char* buffer, int width, int height,
                       int bitCount, int bytesPerRow);

    std::unique_ptr<CScanLibraryManager> library_;
};

}  // namespace libMorvaneClassifier
