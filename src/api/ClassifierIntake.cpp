// Reading pages for classification beyond the first page of a file: any
// page of a multi-page file, encoded images held in memory, page counts, and
// the failure detail those reads leave.
#include <memory>
#include <new>
#include <string>

#include "api/Classifier.h"
#include "api/MainTemplateEntry.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "devices/Device.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageFile.h"
#include "templates/MainTemplate.h"

namespace libMorvaneClassifier {

namespace {

// Encoded images handed over in memory: at most the size of an image file.
bool EncodedSizeAllowed(long long size) {
    return size > 0 && size <= imagefile::CurrentPageBudget().maxFileBytes;
}

}  // namespace

int CClassifier::ReadFailed(const char16_t* path) {
    std::string cause = imagefile::LastReadFailure();
    if (cause.empty()) cause = "cannot be read";
    lastErrorDetail_ = (path ? Utf16ToPathBytes(path) : std::string()) + ": " + cause;
    return kErrReadImage;
}

void CClassifier::PageDecodeOptions(int index, imagefile::DecodeOptions& options) const {
    options.targetDpi = decodeDpi_;
    options.threads = decodeThreads_;
    if (const CMainTemplateEntry* entry = Entry(index)) {
        options.pageXDpi = entry->horiDpi;
        options.pageYDpi = entry->vertDpi;
        // The host's setting wins; otherwise the main template may ask.
        const int32_t asked = entry->mainTemplate ? entry->mainTemplate->decodeDpi : 0;
        if (options.targetDpi == 0 && asked >= imagefile::kMinTrustedDpi && asked <= imagefile::kMaxTrustedDpi)
            options.targetDpi = asked;
    }
}

int CClassifier::ClassifyHeldPage(const imagefile::DecodeOptions& options, int index) {
    pageScaleNum_ = options.scaleNum;
    pageScaleDen_ = options.scaleDen;
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
    if (!EncodedSizeAllowed(size)) {
        lastErrorDetail_ = "<memory>: image of " + std::to_string(size) + " bytes outside 1 to " +
                           std::to_string(imagefile::CurrentPageBudget().maxFileBytes) + " bytes";
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
    CDevice* device = ActiveDevice();
    if (!device) return kErrReadImage;
    imagefile::DecodeOptions options;
    PageDecodeOptions(index, options);
    pageScaleNum_ = pageScaleDen_ = 1;
    auto image = std::make_unique<CRawImage>();
    if (!imagefile::LoadImageFilePage(*image, path, page, &options)) return ReadFailed(path);
    if (device->HoldImage(std::move(image)) != 0) return kErrNoMemory;
    return ClassifyHeldPage(options, index);
}

int CClassifier::ClassifyEncodedImage(const unsigned char* data, long long size, int page, int index) {
    lastErrorDetail_.clear();
    if (!loaded_) return kErrUninitialized;
    if (!data || page < 0) return kErrInvalidParameter;
    if (!EncodedSizeAllowed(size)) {
        lastErrorDetail_ = "<memory>: image of " + std::to_string(size) + " bytes outside 1 to " +
                           std::to_string(imagefile::CurrentPageBudget().maxFileBytes) + " bytes";
        return size <= 0 ? kErrInvalidParameter : kErrReadImage;
    }
    CDevice* device = ActiveDevice();
    if (!device) return kErrReadImage;
    imagefile::DecodeOptions options;
    PageDecodeOptions(index, options);
    pageScaleNum_ = pageScaleDen_ = 1;
    auto image = std::make_unique<CRawImage>();
    if (!imagefile::LoadEncodedImage(*image, data, static_cast<size_t>(size), page, &options)) {
        std::string cause = imagefile::LastReadFailure();
        lastErrorDetail_ = "<memory>: " + (cause.empty() ? std::string("cannot be read") : cause);
        return kErrReadImage;
    }
    if (device->HoldImage(std::move(image)) != 0) return kErrNoMemory;
    return ClassifyHeldPage(options, index);
}

}  // namespace libMorvaneClassifier
