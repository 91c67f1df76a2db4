#include "devices/DeviceInfo.h"

#include <new>

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CDeviceInfo::~CDeviceInfo() = default;

bool CDeviceInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(u"BasicInfo")) return false;
    name = xml.ReadAttribute(u"Name");
    version = xml.ReadAttribute(u"Version");
    priority = xml.ReadIntAttribute(u"Priority");
    pageCtrl = xml.ReadIntAttribute(u"PageCtrl");
    return true;
}

CDevNullInfo::~CDevNullInfo() = default;

CDevScannerInfo::~CDevScannerInfo() = default;

bool CDevScannerInfo::Read(CXmlDocument& xml) {
    if (!CDeviceInfo::Read(xml)) return false;
    if (!xml.FindElement(u"Scanner")) return false;
    invert = xml.ReadIntAttribute(u"Invert");
    filterColor = xml.ReadIntAttribute(u"FilterColor");
    resolution = xml.ReadIntAttribute(u"Resolution");
    imageType = xml.ReadIntAttribute(u"ImageType");
    autoDuplex = xml.ReadIntAttribute(u"AutoDuplex");
    autoCrop = xml.ReadIntAttribute(u"AutoCrop");
    autoRotate = xml.ReadIntAttribute(u"AutoRotate");
    showUI = xml.ReadIntAttribute(u"ShowUI");
    driverPath = xml.ReadAttribute(u"DriverPath");
    rotate = xml.ReadIntAttribute(u"Rotate");
    scanLibrary = xml.ReadAttribute(u"ScanLibrary");
    systemDirectory = xml.ReadAttribute(u"SystemDirectory");
    return true;
}

std::unique_ptr<CDeviceInfo> CreateDeviceInfo(int32_t deviceType) {
    switch (deviceType) {
        case kDeviceNull:
            return std::unique_ptr<CDeviceInfo>(new (std::nothrow) CDevNullInfo);
        case kDeviceScanner:
            return std::unique_ptr<CDeviceInfo>(new (std::nothrow) CDevScannerInfo);
        default:
            return nullptr;
    }
}

}  // namespace libMorvaneClassifier
