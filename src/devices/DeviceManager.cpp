#include "devices/DeviceManager.h"

#include <new>

#include "platform/PlatformProcesses.h"
#include "platform/SafeFile.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

namespace {

// Reads one "Device" element at the cursor into a new device; null when the
// element is skipped.
std::unique_ptr<CDevice> ReadDevice(CXmlDocument& xml) {
    std::unique_ptr<CDevice> device = CreateDevice(xml.ReadIntAttribute(u"Type"));
    if (!device) return nullptr;
    if (!xml.EnterElement()) return nullptr;
    CDeviceInfo* info = device->GetInfo();
    const bool ok = info && info->Read(xml);
    xml.LeaveElement();
    return ok ? std::move(device) : nullptr;
}

}  // namespace

CDeviceManager::~CDeviceManager() = default;

void CDeviceManager::Clear() {
    active_ = nullptr;
    devices_.clear();
}

CDevice* CDeviceManager::GetDevice(int32_t index) const {
    if (index < 0 || index >= GetDeviceCount()) return nullptr;
    return devices_[static_cast<size_t>(index)].get();
}

void CDeviceManager::AddDevice(std::unique_ptr<CDevice> device) {
    if (device) devices_.push_back(std::move(device));
}

bool CDeviceManager::LoadDeviceList() {
    Clear();
    std::u16string path = workingDirectory_;
    // A working directory given without a trailing separator still names the
    // folder that holds the list.
    if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += u'/';
    path += kDeviceListFile;
    NormalizePath(path);
    CXmlDocument xml;
    if (!xml.Load(path, kMaxDeviceListBytes)) return false;
    return LoadDeviceList(xml);
}

bool CDeviceManager::LoadDeviceList(CXmlDocument& xml) {
    Clear();
    xml.ResetPosition();
    if (!xml.FindElement(u"DeviceList") || !xml.EnterElement()) return false;
    try {
        // FindElement moves on from the previous "Device", so each element is
        // visited once, in document order.
        while (xml.FindElement(u"Device")) {
            std::unique_ptr<CDevice> device = ReadDevice(xml);
            if (device) devices_.push_back(std::move(device));
        }
    } catch (const std::bad_alloc&) {
        Clear();
        xml.LeaveElement();
        return false;
    }
    xml.LeaveElement();
    return true;
}

bool CDeviceManager::OpenDevices() {
    active_ = nullptr;
    for (auto& device : devices_) {
        if (device->Open(workingDirectory_) != kDeviceOk) device->Close();
    }
    for (auto& device : devices_) {
        if (!device->IsOpened()) continue;
        if (!active_) {
            active_ = device.get();
        } else if (device->GetPriority() > active_->GetPriority()) {
            active_->Close();
            active_ = device.get();
        } else {
            device->Close();
        }
    }
    return active_ != nullptr;
}

}  // namespace libMorvaneClassifier
