// Reads a device list from arbitrary bytes, opens its devices and asks the
// active one for everything it offers.
#include <cstddef>
#include <cstdint>

#include "devices/DeviceManager.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDocument xml;
    if (!xml.LoadFromBytes(data, size)) return 0;
    CDeviceManager manager;
    manager.SetWorkingDirectory(u"/nonexistent-fuzz-dir/");
    if (!manager.LoadDeviceList(xml)) return 0;

    size_t total = 0;
    for (int32_t i = 0; i < manager.GetDeviceCount(); ++i) {
        CDevice* device = manager.GetDevice(i);
        total += device->GetName().size() + static_cast<size_t>(device->GetPriority() & 1);
        if (const CDeviceInfo* info = device->PeekInfo()) total += info->version.size();
        if (auto* scanner = dynamic_cast<const CDevScannerInfo*>(device->PeekInfo()))
            total += scanner->driverPath.size();
    }
    if (manager.OpenDevices()) {
        CDevice* active = manager.GetActiveDevice();
        active->Capture();
        active->HavePaper();
        active->SetCapturedAttribute(10, 300);
        active->SetCapturedRange(0, 0, 10, 10);
        active->GetCapturedImage(0);
    }
    return total == static_cast<size_t>(-1) ? 1 : 0;
}
