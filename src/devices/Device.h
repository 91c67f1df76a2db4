// Capture devices. A device holds the images of its last capture or local
// load; the classifier classifies and saves them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceInfo.h"
#include "image/Dib.h"

namespace imagefile {
struct DecodeOptions;
}

namespace libMorvaneClassifier {

// Answers of the device operations.
enum DeviceResult : int32_t {
    kDeviceOk = 0,
    kDeviceNotPresent = 1,    // Open: the device is not attached
    kDeviceNotOpened = 2,     // Open: its library is unusable; other operations: not opened
    kDeviceFailed = 3,        // source selection or capture failed
    kDeviceNoPaper = 4,       // HavePaper: nothing waiting
    kDeviceNotSupported = 5,  // the device does not offer the operation
    kDeviceFileFailed = 1,    // LoadLocalImage / SaveCapturedImage: the file operation failed
};

class CDevice {
public:
    explicit CDevice(int32_t deviceType) : type_(deviceType) {}
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    // 0 when the device is opened; otherwise a DeviceResult code.
    virtual int32_t Open(const std::u16string& workingDirectory) = 0;
    virtual bool IsPresent() = 0;
    // Deletes the configuration record and clears the opened flag.
    virtual void Close();
    // The base offers none of these: each answers kDeviceNotSupported.
    virtual int32_t Capture();
    virtual int32_t SetCapturedAttribute(int32_t attribute, int32_t value);
    virtual int32_t SetCapturedRange(int32_t left, int32_t top, int32_t right, int32_t bottom);
    virtual int32_t HavePaper();

    int32_t GetType() const { return type_; }
    bool IsOpened() const { return opened_; }
    // The configuration record, created with constructor values on the first
    // request (by type: 0 null-device record, 2 scanner record); null for a
    // type without a record or when memory runs out.
    CDeviceInfo* GetInfo();
    // The record if there is one, without creating it.
    const CDeviceInfo* PeekInfo() const { return info_.get(); }
    // The record's Priority / Name; 0 / empty when there is no record.
    int32_t GetPriority() const;
    std::u16string GetName() const;

    // Captured images, in page order.
    int32_t GetCapturedImageCount() const { return static_cast<int32_t>(captured_.size()); }
    // Null for an index below 0 or not below the count.
    CRawImage* GetCapturedImage(int32_t index) const;
    // Empties the captured images and reads the file at path into a new one.
    // 0 on success; kDeviceFileFailed when the file cannot be read or gives
    // an image without pixels (the list then stays empty). options: as for
    // imagefile::LoadImageFile (working resolution, decoder threads).
    int32_t LoadLocalImage(const std::u16string& path, imagefile::DecodeOptions* options = nullptr);
    // Empties the captured images and keeps `image` (one read elsewhere: a
    // page of a multi-page file, an image in memory) as the only one.
    // kDeviceFileFailed when the image is null or has no pixels.
    int32_t HoldImage(std::unique_ptr<CRawImage> image);
    // Writes every captured image: image 0 to path, image i > 0 to path with
    // the decimal i inserted before its last four characters (page.jpg,
    // page1.jpg, page2.jpg). Every image is attempted; 0 when every write
    // succeeded, kDeviceFileFailed when any failed.
    int32_t SaveCapturedImage(const std::u16string& path, int32_t saveOption);
    // File name of captured image i under path (see SaveCapturedImage).
    static std::u16string CapturedImageFileName(const std::u16string& path, int32_t index);

protected:
    void ClearCapturedImages() { captured_.clear(); }
    // Appends an empty image for a capture to fill; null when memory runs out.
    CRawImage* AddCapturedImage();
    // Empties the captured images but hands back the first one (null when
    // there is none), so that a capture can reuse its memory.
    std::unique_ptr<CRawImage> TakeCapturedImages();
    // Appends an image (ignored when null); false when memory runs out.
    bool AppendCapturedImage(std::unique_ptr<CRawImage> image);
    // Removes the image AddCapturedImage appended last (a capture that failed).
    void DropLastCapturedImage() {
        if (!captured_.empty()) captured_.pop_back();
    }
    void SetOpened(bool opened) { opened_ = opened; }
    void ReleaseInfo() { info_.reset(); }

private:
    int32_t type_;
    std::unique_ptr<CDeviceInfo> info_;
    bool opened_ = false;
    std::vector<std::unique_ptr<CRawImage>> captured_;
};

// Device type 0: captures nothing, but holds images loaded from files.
class CDevNull : public CDevice {
public:
    CDevNull() : CDevice(kDeviceNull) {}
    ~CDevNull() override;
    int32_t Open(const std::u16string& workingDirectory) override;
    bool IsPresent() override;
};

// New device for a device type (0 null device, 2 scanner); null otherwise.
std::unique_ptr<CDevice> CreateDevice(int32_t deviceType);

}  // namespace libMorvaneClassifier
