#include "api/Classifier.h"

#include "api/ResultCodes.h"
#include "platform/PlatformProcesses.h"

namespace libMorvaneClassifier {

CClassifier& TheClassifier() {
    static CClassifier classifier;
    return classifier;
}

std::string& EngineDirectory() {
    static std::string directory;
    return directory;
}

CClassifier::CClassifier() = default;
CClassifier::~CClassifier() { Free(); }

int CClassifier::Load(const char16_t*, const char16_t* directory) {
    Free();
    if (directory && directory[0])
        workingDirectory_ = directory;
    else
        workingDirectory_ = ModuleDirectory();
    EngineDirectory() = AnsiText(workingDirectory_);
    // The device list is not read yet.
    return kErrReadDeviceFile;
}

void CClassifier::Free() {
    if (!loaded_) return;
    loaded_ = false;
}

int CClassifier::EntryCount() const { return 0; }

int CClassifier::AddMainTemplate(const char16_t*, int*) {
    if (!loaded_) return kErrUninitialized;
    return kErrReadMainTemplate;
}

int CClassifier::SetPixelResolution(int h, int v, int index) {
    if (!loaded_) return kErrUninitialized;
    if (index < 0 || index >= EntryCount() || h < 0 || v < 0) return kErrInvalidParameter;
    return kSuccess;
}

int CClassifier::SetTemplateValid(const char16_t* id, int) {
    if (!id) return kErrInvalidParameter;
    return kSuccess;
}

int CClassifier::ResetAllTemplates(int, int) { return kSuccess; }
int CClassifier::SetAttribute(int, int, int) { return kSuccess; }

int CClassifier::ClassifyImage(const CRawImage& image, int index) {
    if (!loaded_) return kErrUninitialized;
    if (!image.HasPixels()) return kErrInvalidParameter;
    if (index < 0 || index >= EntryCount()) return kErrInvalidParameter;
    return kErrClassify;
}

int CClassifier::ClassifyImageMemory(unsigned char** rows, int width, int height, int bitsPerPixel, int index) {
    if (!loaded_) return kErrUninitialized;
    if (!rows || width <= 0 || height <= 0 || (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24))
        return kErrInvalidParameter;
    CRawImage image;
    if (!image.Create(width, height, bitsPerPixel, 300)) return kErrInvalidParameter;
    return ClassifyImage(image, index);
}

int CClassifier::Classify(int index) {
    if (!loaded_) return kErrUninitialized;
    if (index < 0 || index >= EntryCount()) return kErrInvalidParameter;
    return kErrReadImage;
}

int CClassifier::ClassifyImageFile(const char16_t* path, int index) {
    if (!loaded_ || !path || !path[0]) return kErrReadImage;
    return Classify(index);
}

int CClassifier::GetResultText(int, char16_t*, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    *length = 0;
    return kErrClassify;
}

int CClassifier::CaptureImage() { return loaded_ ? kErrCapture : kErrUninitialized; }
int CClassifier::SetCapturedAttribute(int, int) { return kErrUninitialized; }
int CClassifier::SetCapturedRange(int, int, int, int) { return kErrUninitialized; }
int CClassifier::IsHavePaper() { return loaded_ ? kErrNoPaper : kErrUninitialized; }

int CClassifier::LoadLocalImage(const char16_t* path) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !path[0]) return kErrInvalidParameter;
    return kErrReadImage;
}

int CClassifier::SaveCapturedImage(const char16_t* path, int) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !path[0]) return kErrInvalidParameter;
    return kErrCallOrder;
}

}  // namespace libMorvaneClassifier
