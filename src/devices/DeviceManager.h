// The capture devices configured in the working directory's device list
// "ClasDevices.dat", and the active one:
//
//   <DeviceList>
//     <Device Type="0"><BasicInfo Name="Null" Version="1" Priority="0" PageCtrl="0"/></Device>
//     ...
//   </DeviceList>
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/Device.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CDeviceManager {
public:
    static constexpr const char16_t* kDeviceListFile = u"ClasDevices.dat";

    CDeviceManager() = default;
    ~CDeviceManager();
    CDeviceManager(const CDeviceManager&) = delete;
    CDeviceManager& operator=(const CDeviceManager&) = delete;

    // The directory holding the device list; used as a plain prefix, so it
    // ends with a path separator.
    void SetWorkingDirectory(const std::u16string& directory) { workingDirectory_ = directory; }
    const std::u16string& GetWorkingDirectory() const { return workingDirectory_; }

    // Replaces the devices by those of working directory + "ClasDevices.dat".
    // False when the file cannot be read or parsed, or has no "DeviceList";
    // true otherwise, also for a list without devices.
    bool LoadDeviceList();
    // The same from a parsed document (cursor at the top level). Each
    // "Device" is read in document order; one whose "Type" is not 0 or 2, or
    // whose record cannot be read ("BasicInfo" missing; for a scanner also
    // "Scanner"), is skipped.
    bool LoadDeviceList(CXmlDocument& xml);
    // Opens every device with the working directory, closing those that do
    // not open, then keeps the opened device of highest priority (the first
    // among equals) as the active device and closes the other opened ones.
    // False when no device opened (no active device).
    bool OpenDevices();
    // The active device or null.
    CDevice* GetActiveDevice() const { return active_; }

    int32_t GetDeviceCount() const { return static_cast<int32_t>(devices_.size()); }
    // Device at index in list order; null out of range.
    CDevice* GetDevice(int32_t index) const;
    // Appends a device (the manager takes ownership); ignored when null.
    void AddDevice(std::unique_ptr<CDevice> device);
    // Deletes every device; there is no active device afterwards.
    void Clear();

private:
    std::vector<std::unique_ptr<CDevice>> devices_;
    CDevice* active_ = nullptr;
    std::u16string workingDirectory_;
};

}  // namespace libMorvaneClassifier
