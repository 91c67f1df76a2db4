#include "devices/DeviceInfo.h"

#include <new>

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CDeviceInfo::~CDeviceInfo() = default;

const RecordTable<CDeviceInfo>& CDeviceInfo::Fields() {
    static const RecordTable<CDeviceInfo> table{
        u"BasicInfo",
        {TextField(u"Name", &CDeviceInfo::name), TextField(u"Version", &CDeviceInfo::version),
         IntField(u"Priority", &CDeviceInfo::priority), IntField(u"PageCtrl", &CDeviceInfo::pageCtrl)}};
    return table;
}

bool CDeviceInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(Fields().element)) return false;
    ReadAttributes(*this, Fields(), xml);
    return true;
}

CDevNullInfo::~CDevNullInfo() = default;

CDevScannerInfo::~CDevScannerInfo() = default;

const RecordTable<CDevScannerInfo>& CDevScannerInfo::Fields() {
    static const RecordTable<CDevScannerInfo> table{
        u"Scanner",
        {IntField(u"Invert", &CDevScannerInfo::invert),
         IntField(u"FilterColor", &CDevScannerInfo::filterColor),
         IntField(u"Resolution", &CDevScannerInfo::resolution),
         IntField(u"ImageType", &CDevScannerInfo::imageType),
         IntField(u"AutoDuplex", &CDevScannerInfo::autoDuplex),
         IntField(u"AutoCrop", &CDevScannerInfo::autoCrop),
         IntField(u"AutoRotate", &CDevScannerInfo::autoRotate), IntField(u"ShowUI", &CDevScannerInfo::showUI),
         TextField(u"DriverPath", &CDevScannerInfo::driverPath),
         IntField(u"Rotate", &CDevScannerInfo::rotate),
         TextField(u"ScanLibrary", &CDevScannerInfo::scanLibrary),
         TextField(u"SystemDirectory", &CDevScannerInfo::systemDirectory)}};
    return table;
}

bool CDevScannerInfo::Read(CXmlDocument& xml) {
    if (!CDeviceInfo::Read(xml)) return false;
    if (!xml.FindElement(Fields().element)) return false;
    ReadAttributes(*this, Fields(), xml);
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
