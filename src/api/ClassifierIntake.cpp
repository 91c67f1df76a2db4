// Reading pages for classification: any page of an image file (the first
// for ClassifyImageFile), encoded images held in memory, page counts, and
// the failure detail those reads leave. The page read is held (on the
// device of the default instance, else on the instance) with the scale it
// was decoded at, then classified by Classify.
#include <memory>
#include <new>
#include <string>

#include "api/Classifier.h"
#include "api/MainTemplateEntry.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "devices/Device.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"
#include "templates/MainTemplate.h"

namespace libMorvaneClassifier {

namespace {

// Encoded images handed over in memory: at most the size of an image file.
bool EncodedSizeAllowed(long long size, long long limit) { return size > 0 && size <= limit; }

}  // namespace

int CClassifier::ReadFailed(const char16_t* path) {
    std::string cause = imagefile::LastReadFailure();
    if (cause.empty()) cause = "cannot be read";
    lastErrorDetail_ = (path ? Utf16ToPathBytes(path) : std::string()) + ": " + cause;
    return kErrReadImage;
}

void CClassifier::PageDecodeOptions(int index, imagefile::DecodeOptions& options) const {
    // The page is read only to be classified: straight at the working
    // resolution, reckoned from the host's page resolution when it set one.
    options.targetDpi = decodeDpi_;
    options.threads = decodeThreads_;
    if (const CMainTemplateEntry* entry = Entry(index)) {
        options.pageXDpi = entry->horiDpi;
        options.pageYDpi = entry->vertDpi;
        // The host's setting wins; otherwise the main template may ask.
        const int32_t asked = entry->mainTemplate ? entry->mainTemplate->decodeDpi : 0;
        if (options.targetDpi == 0 && asked >= imagefile::kMinTrustedDpi &&
            asked <= imagefile::kMaxTrustedDpi)
            options.targetDpi = asked;
    }
}

bool CClassifier::HoldPage(std::unique_ptr<CRawImage> image, const imagefile::DecodeOptions& options) {
    pageScaleNum_ = pageScaleDen_ = 1;
    if (withDevices_) {
        CDevice* device = ActiveDevice();
        if (!device || device->HoldImage(std::move(image)) != 0) return false;
    } else {
        heldPage_ = std::move(image);
    }
    pageScaleNum_ = options.scaleNum;
    pageScaleDen_ = options.scaleDen;
    return true;
}

void CClassifier::DropHeldPage() {
    pageScaleNum_ = pageScaleDen_ = 1;
    heldPage_.reset();
    if (CDevice* device = withDevices_ ? ActiveDevice() : nullptr) device->HoldImage(nullptr);
}

int CClassifier::ReadAndClassifyPage(const char16_t* path, int page, int index) {
    if (withDevices_ && !ActiveDevice()) return kErrReadImage;
    imagefile::DecodeOptions options;
    PageDecodeOptions(index, options);
    auto image = std::make_unique<CRawImage>();
    if (!imagefile::LoadImageFilePage(*image, path, page, &options)) {
        DropHeldPage();
        return ReadFailed(path);
    }
    if (!HoldPage(std::move(image), options)) return kErrNoMemory;
    return Classify(index);
}

int CClassifier::GetImagePageCount(const char16_t* path, int* count) {
    lastErrorDetail_.clear();
    if (!count) return kErrInvalidParameter;
    *count = 0;
    if (!path || !path[0]) return kErrInvalidParameter;
    const int pages = imagefile::CountImageFilePages(path);
    if (pages <= 0) return ReadFailed(path);
    *count = pages;
    return kSuccess;
}

int CClassifier::GetEncodedImagePageCount(const unsigned char* data, long long size, int* count) {
    lastErrorDetail_.clear();
    if (!count) return kErrInvalidParameter;
    *count = 0;
    if (!data || size <= 0) return kErrInvalidParameter;
    const long long limit = imagefile::CurrentPageBudget().maxFileBytes.load();
    if (!EncodedSizeAllowed(size, limit)) {
        lastErrorDetail_ = "<memory>: image of " + std::to_string(size) + " bytes outside 1 to " +
                           std::to_string(limit) + " bytes";
        return kErrReadImage;
    }
    const int pages = imagefile::CountEncodedPages(data, static_cast<size_t>(size));
    if (pages <= 0) {
        const std::string cause = imagefile::LastReadFailure();
        lastErrorDetail_ = "<memory>: " + (cause.empty() ? std::string("cannot be read") : cause);
        return kErrReadImage;
    }
    *count = pages;
    return kSuccess;
}

int CClassifier::ClassifyImageFilePage(const char16_t* path, int page, int index) {
    lastErrorDetail_.clear();
    if (!loaded_) return kErrUninitialized;
    if (!path || !path[0] || page < 0) return kErrInvalidParameter;
    return ReadAndClassifyPage(path, page, index);
}

int CClassifier::ClassifyEncodedImage(const unsigned char* data, long long size, int page, int index) {
    lastErrorDetail_.clear();
    if (!loaded_) return kErrUninitialized;
    if (!data || page < 0) return kErrInvalidParameter;
    const long long limit = imagefile::CurrentPageBudget().maxFileBytes.load();
    if (!EncodedSizeAllowed(size, limit)) {
        lastErrorDetail_ = "<memory>: image of " + std::to_string(size) + " bytes outside 1 to " +
                           std::to_string(limit) + " bytes";
        return size <= 0 ? kErrInvalidParameter : kErrReadImage;
    }
    if (withDevices_ && !ActiveDevice()) return kErrReadImage;
    imagefile::DecodeOptions options;
    PageDecodeOptions(index, options);
    auto image = std::make_unique<CRawImage>();
    if (!imagefile::LoadEncodedImage(*image, data, static_cast<size_t>(size), page, &options)) {
        DropHeldPage();
        std::string cause = imagefile::LastReadFailure();
        lastErrorDetail_ = "<memory>: " + (cause.empty() ? std::string("cannot be read") : cause);
        return kErrReadImage;
    }
    if (!HoldPage(std::move(image), options)) return kErrNoMemory;
    return Classify(index);
}

}  // namespace libMorvaneClassifier
