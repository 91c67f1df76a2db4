#include "devices/Device.h"

#include <new>

#include "devices/DevScanner.h"
#include "imagefile/ImageFile.h"

namespace libMorvaneClassifier {

CDevice::~CDevice() = default;

void CDevice::Close() {
    info_.reset();
    opened_ = false;
}

int32_t CDevice::Capture() { return kDeviceNotSupported; }
int32_t CDevice::SetCapturedAttribute(int32_t, int32_t) { return kDeviceNotSupported; }
int32_t CDevice::SetCapturedRange(int32_t, int32_t, int32_t, int32_t) { return kDeviceNotSupported; }
int32_t CDevice::HavePaper() { return kDeviceNotSupported; }

CDeviceInfo* CDevice::GetInfo() {
    if (!info_) info_ = CreateDeviceInfo(type_);
    return info_.get();
}

int32_t CDevice::GetPriority() const { return info_ ? info_->priority : 0; }

std::u16string CDevice::GetName() const { return info_ ? info_->name : std::u16string(); }

CRawImage* CDevice::GetCapturedImage(int32_t index) const {
    if (index < 0 || index >= GetCapturedImageCount()) return nullptr;
    return captured_[static_cast<size_t>(index)].get();
}

CRawImage* CDevice::AddCapturedImage() {
    try {
        captured_.push_back(std::make_unique<CRawImage>());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return captured_.back().get();
}

std::unique_ptr<CRawImage> CDevice::TakeCapturedImages() {
    std::unique_ptr<CRawImage> first;
    if (!captured_.empty()) first = std::move(captured_.front());
    captured_.clear();
    return first;
}

bool CDevice::AppendCapturedImage(std::unique_ptr<CRawImage> image) {
    if (!image) return true;
    try {
        captured_.push_back(std::move(image));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int32_t CDevice::LoadLocalImage(const std::u16string& path, imagefile::DecodeOptions* options) {
    ClearCapturedImages();
    CRawImage* image = AddCapturedImage();
    if (!image) return kDeviceFileFailed;
    if (!imagefile::LoadImageFile(*image, path, options) || !image->HasPixels()) {
        captured_.pop_back();
        return kDeviceFileFailed;
    }
    return kDeviceOk;
}

int32_t CDevice::HoldImage(std::unique_ptr<CRawImage> image) {
    ClearCapturedImages();
    if (!image || !image->HasPixels()) return kDeviceFileFailed;
    return AppendCapturedImage(std::move(image)) ? kDeviceOk : kDeviceFileFailed;
}

std::u16string CDevice::CapturedImageFileName(const std::u16string& path, int32_t index) {
    if (index <= 0) return path;
    // The last four characters are the suffix (".jpg"); a shorter path is
    // all suffix.
    const size_t cut = path.size() >= 4 ? path.size() - 4 : 0;
    std::u16string name = path.substr(0, cut);
    for (char c : std::to_string(index)) name.push_back(static_cast<char16_t>(c));
    name += path.substr(cut);
    return name;
}

int32_t CDevice::SaveCapturedImage(const std::u16string& path, int32_t saveOption) {
    int32_t result = kDeviceOk;
    const int32_t count = GetCapturedImageCount();
    for (int32_t i = 0; i < count; ++i) {
        if (!imagefile::SaveImageFile(*captured_[static_cast<size_t>(i)], CapturedImageFileName(path, i),
                                      static_cast<uint32_t>(saveOption)))
            result = kDeviceFileFailed;
    }
    return result;
}

CDevNull::~CDevNull() = default;

int32_t CDevNull::Open(const std::u16string&) {
    SetOpened(true);
    return kDeviceOk;
}

bool CDevNull::IsPresent() { return true; }

std::unique_ptr<CDevice> CreateDevice(int32_t deviceType) {
    switch (deviceType) {
        case kDeviceNull:
            return std::unique_ptr<CDevice>(new (std::nothrow) CDevNull);
        case kDeviceScanner:
            return std::unique_ptr<CDevice>(new (std::nothrow) CDevScanner);
        default:
            return nullptr;
    }
}

}  // namespace libMorvaneClassifier
