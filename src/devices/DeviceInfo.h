// Configuration records of the capture devices, read from a "Device" element
// of the device list:
//
//   <Device Type="2">
//     <BasicInfo Name="..." Version="..." Priority="3" PageCtrl="0"/>
//     <Scanner Resolution="300" ImageType="2" DriverPath="\x.dll" .../>
//   </Device>
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CDeviceInfo {
public:
    virtual ~CDeviceInfo() = 0;
    // With the cursor inside a "Device" element: reads "BasicInfo" (required).
    // Missing integer attributes read as 0, missing texts as empty.
    virtual bool Read(CXmlDocument& xml);
    static const RecordTable<CDeviceInfo>& Fields();  // of "BasicInfo"

    std::u16string name;     // "Name"
    std::u16string version;  // "Version"
    int32_t priority = 0;    // "Priority"
    int32_t pageCtrl = 0;    // "PageCtrl"
};

// Record of the null device: the basic fields only.
class CDevNullInfo : public CDeviceInfo {
public:
    ~CDevNullInfo() override;
};

// Record of a scanner: the basic fields plus the "Scanner" element, which
// must follow "BasicInfo".
class CDevScannerInfo : public CDeviceInfo {
public:
    ~CDevScannerInfo() override;
    bool Read(CXmlDocument& xml) override;
    static const RecordTable<CDevScannerInfo>& Fields();  // of "Scanner"

    int32_t invert = 0;         // "Invert"
    int32_t filterColor = 0;    // "FilterColor"
    int32_t resolution = 300;   // "Resolution"
    int32_t imageType = 2;      // "ImageType"
    int32_t autoDuplex = 0;     // "AutoDuplex"
    int32_t autoCrop = 0;       // "AutoCrop"
    int32_t autoRotate = 0;     // "AutoRotate"
    int32_t showUI = 0;         // "ShowUI"
    std::u16string driverPath;  // "DriverPath", appended to the Windows directory
    int32_t attribute3 = 0;     // set by SetCapturedAttribute only
    int32_t attribute4 = 0;     // set by SetCapturedAttribute only
    int32_t rangeLeft = 0;      // set by SetCapturedRange
    int32_t rangeTop = 0;
    int32_t rangeWidth = 0;
    int32_t rangeHeight = 0;
    int32_t rotate = 0;  // "Rotate"
    // Where this system keeps the scanner's libraries (not part of the scan
    // values): "ScanLibrary" names the scanning library, empty meaning
    // kDefaultScanLibrary; "SystemDirectory" is the directory that
    // "DriverPath" is appended to, empty meaning the built-in plug-in
    // directory (ScannerSystemDirectory()).
    std::u16string scanLibrary;
    std::u16string systemDirectory;

    static constexpr const char16_t* kDefaultScanLibrary = u"MorvaneSaneScan.dll";
};

// Device type numbers ("Type" attribute of a "Device" element).
enum DeviceType : int32_t {
    kDeviceNull = 0,
    kDeviceScanner = 2,
};

// New record with constructor values for a device type; null for a type
// that has no record.
std::unique_ptr<CDeviceInfo> CreateDeviceInfo(int32_t deviceType);

}  // namespace libMorvaneClassifier
