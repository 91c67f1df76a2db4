// Device type 2: a document scanner reached through an outside scanning
// library. Until the scanner adapter is wired in, a scanner is never
// present: Open answers kDeviceNotPresent and the device stays closed, and
// the other operations answer as for a device that is not opened.
#pragma once
#include "devices/Device.h"

namespace libMorvaneClassifier {

class CDevScanner : public CDevice {
public:
    CDevScanner() : CDevice(kDeviceScanner) {}
    ~CDevScanner() override;
    int32_t Open(const std::u16string& workingDirectory) override;
    bool IsPresent() override;
    // Clears the opened flag; the configuration record is kept.
    void Close() override;
    int32_t Capture() override;
    int32_t SetCapturedAttribute(int32_t attribute, int32_t value) override;
    int32_t SetCapturedRange(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    int32_t HavePaper() override;
};

}  // namespace libMorvaneClassifier
