#include "devices/DevScanner.h"

namespace libMorvaneClassifier {

CDevScanner::~CDevScanner() = default;

bool CDevScanner::IsPresent() { return false; }

int32_t CDevScanner::Open(const std::u16string&) {
    // Without a scanning library a present scanner still cannot be opened.
    return IsPresent() ? kDeviceNotOpened : kDeviceNotPresent;
}

void CDevScanner::Close() { SetOpened(false); }

int32_t CDevScanner::Capture() { return IsOpened() ? kDeviceFailed : kDeviceNotOpened; }

int32_t CDevScanner::SetCapturedAttribute(int32_t, int32_t) {
    return IsOpened() ? kDeviceFailed : kDeviceNotOpened;
}

int32_t CDevScanner::SetCapturedRange(int32_t, int32_t, int32_t, int32_t) {
    return IsOpened() ? kDeviceFailed : kDeviceNotOpened;
}

int32_t CDevScanner::HavePaper() { return IsOpened() ? kDeviceFailed : kDeviceNotOpened; }

}  // namespace libMorvaneClassifier
