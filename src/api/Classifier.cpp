#include "api/Classifier.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "api/ClassificationContext.h"
#include "api/DecisionTraceText.h"
#include "api/MainTemplateEntry.h"
#include "api/Overlay.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "devices/Device.h"
#include "devices/DeviceManager.h"
#include "engines/GeneralRecog.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "platform/PlatformProcesses.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"

namespace libMorvaneClassifier {

CClassifier& TheClassifier() {
    static CClassifier classifier;
    return classifier;
}

CClassifier::CClassifier(bool withDevices) : withDevices_(withDevices) {}
CClassifier::~CClassifier() { Free(); }

int CClassifier::Load(const char16_t*, const char16_t* directory) {
    Free();
    if (directory && directory[0])
        workingDirectory_ = directory;
    else
        workingDirectory_ = ModuleDirectory();
    // Without devices there is no device list to read: a working directory
    // that is not one fails as that list would.
    if (!withDevices_ && !IsDirectoryPath(Utf16ToPathBytes(workingDirectory_))) return kErrReadDeviceFile;
    {
        const EngineGateLock gate(EngineGate());
        // An engine that failed to start under the previous working
        // directory is tried again under this one.
        if (GeneralRecog().HasFailedStart()) ResetGeneralRecog();
        EngineDirectory() = AnsiText(workingDirectory_);
    }
    if (!withDevices_) {
        loaded_ = true;
        return kSuccess;
    }
    if (!devices_) {
        devices_.reset(new (std::nothrow) CDeviceManager);
        if (!devices_) return kErrNoMemory;
    }
    devices_->SetWorkingDirectory(workingDirectory_);
    if (!devices_->LoadDeviceList()) return kErrReadDeviceFile;
    if (!devices_->OpenDevices()) return kErrOpenDevice;
    loaded_ = true;
    return kSuccess;
}

void CClassifier::Free() {
    if (!loaded_) return;
    entries_.clear();
    lastResult_ = nullptr;
    haveTrace_ = false;
    lastTrace_ = DecisionTrace();
    lastWalk_ = WalkRecord();
    lastEntry_ = -1;
    devices_.reset();
    heldPage_.reset();
    pageScaleNum_ = pageScaleDen_ = 1;
    loaded_ = false;
}

int CClassifier::EntryCount() const { return static_cast<int>(entries_.size()); }

CMainTemplateEntry* CClassifier::Entry(int index) const {
    if (index < 0 || index >= EntryCount()) return nullptr;
    return entries_[static_cast<size_t>(index)].get();
}

CDevice* CClassifier::ActiveDevice() const { return devices_ ? devices_->GetActiveDevice() : nullptr; }

int CClassifier::AddMainTemplate(const char16_t* path, int* index) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !index) return kErrInvalidParameter;
    lastErrorDetail_.clear();
    std::unique_ptr<CMainTemplateEntry> entry(new (std::nothrow) CMainTemplateEntry);
    if (!entry) return kErrNoMemory;
    const int code = entry->Load(path);
    if (code != kSuccess) {
        lastErrorDetail_ = entry->loadDetail;
        return code;
    }
    entries_.push_back(std::move(entry));
    *index = EntryCount() - 1;
    return kSuccess;
}

int CClassifier::SetPixelResolution(int h, int v, int index) {
    if (!loaded_) return kErrUninitialized;
    CMainTemplateEntry* entry = Entry(index);
    if (!entry || h < 0 || v < 0) return kErrInvalidParameter;
    entry->SetResolution(h, v);
    return kSuccess;
}

// The next three take an index without the loaded test; an index that was
// never handed out (or a call before loading) changes nothing and succeeds,
// so a host mistake cannot reach memory that is not an entry.
int CClassifier::SetTemplateValid(const char16_t* id, int index) {
    if (!id) return kErrInvalidParameter;
    if (CMainTemplateEntry* entry = Entry(index)) entry->AddValidTemplate(id);
    return kSuccess;
}

int CClassifier::ResetAllTemplates(int valid, int index) {
    if (CMainTemplateEntry* entry = Entry(index)) entry->ResetTemplates(valid);
    return kSuccess;
}

int CClassifier::SetAttribute(int attribute, int value, int index) {
    if (CMainTemplateEntry* entry = Entry(index)) entry->SetAttribute(attribute, value);
    return kSuccess;
}

int CClassifier::ClassifyImage(const CRawImage& image, int index, CRawImage* disposable,
                               const PageOrigin& origin) {
    if (!loaded_) return kErrUninitialized;
    if (!image.HasPixels()) return kErrInvalidParameter;
    CMainTemplateEntry* entry = Entry(index);
    if (!entry) return kErrInvalidParameter;
    lastResult_ = nullptr;
    lastErrorDetail_.clear();
    // The page as handed in: the walk may work on (and change) a disposable
    // image in place.
    const int32_t givenWidth = image.width;
    const int32_t givenHeight = image.height;
    if (keepPage_) {
        lastPage_ = CRawImage(image);
        if (!lastPage_.HasPixels()) throw std::bad_alloc();
    }
    // The context of this classification, built once: every turn of the
    // orientation search runs with the same one.
    ClassificationContext context =
        ClassificationContext::For(entry->horiDpi, entry->vertDpi, origin.fileXDpi, origin.fileYDpi);
    context.scaleNum = origin.scaleNum;
    context.scaleDen = origin.scaleDen;
    context.observer = &entry->trace;
    CSubTemplate* result = nullptr;
    int code;
    if (orientationSearch_) {
        code = ClassifyTurning(image, context, *entry, result);
    } else {
        code = disposable ? entry->FindSubTemplateConsuming(*disposable, context, result)
                          : entry->FindSubTemplate(image, context, result);
        entry->trace.orientationSearched = false;
        entry->trace.turnsTried.clear();
        entry->trace.turn = 0;
    }
    // The entry's record becomes the classifier's; swapping keeps both
    // records' storage for the next runs.
    if (code != kSuccess && !entry->failureDetail.empty()) lastErrorDetail_ = entry->failureDetail;
    std::swap(lastTrace_, entry->trace);
    std::swap(lastWalk_, entry->walk);
    lastWalk_.pageWidth = givenWidth;
    lastWalk_.pageHeight = givenHeight;
    lastTrace_.entry = index;
    lastEntry_ = index;
    haveTrace_ = true;
    lastResult_ = result;
    return code;
}

int CClassifier::ClassifyTurned(const CRawImage& image, int degrees, const ClassificationContext& context,
                                CMainTemplateEntry& entry, CSubTemplate*& result) {
    if (degrees == 0) return entry.FindSubTemplate(image, context, result);
    CRawImage source(image);
    CRawImage turned;
    if (!source.HasPixels() || source.Rotate(&turned, degrees / 90, 0.0, 0, 0, 1) == 0 || !turned.HasPixels())
        throw std::bad_alloc();
    return entry.FindSubTemplateConsuming(turned, context, result);
}

namespace {

// How well a walk went, for comparing the turns of one page: a walk decided
// by score at every level beats one that took a default branch; then the
// deeper the scored path the better; then the larger the sum of the chosen
// children's scores along it.
struct WalkRank {
    bool complete = false;
    int32_t depth = 0;
    int64_t sum = 0;

    static WalkRank Of(const DecisionTrace& t) {
        WalkRank r;
        r.complete = !t.TookDefault();
        r.depth = t.ScoredDepth();
        for (int32_t i = 0; i < r.depth; ++i) {
            const TraceLevel& l = t.levels[static_cast<size_t>(i)];
            if (l.chosen >= 0 && static_cast<size_t>(l.chosen) < l.children.size())
                r.sum += l.children[static_cast<size_t>(l.chosen)].total;
        }
        return r;
    }
    bool Beats(const WalkRank& o) const {
        if (complete != o.complete) return complete;
        if (depth != o.depth) return depth > o.depth;
        return sum > o.sum;
    }
};

}  // namespace

int CClassifier::ClassifyTurning(const CRawImage& image, const ClassificationContext& context,
                                 CMainTemplateEntry& entry, CSubTemplate*& result) {
    std::vector<int32_t> tried{0};
    int code = entry.FindSubTemplate(image, context, result);
    int keep = 0;
    if (entry.trace.TookDefault()) {
        // Every turn is tried and the best walk kept (the earlier turn among
        // equals, 0 first): a page upside down can also reach a sub-template
        // by score - a card with its photo on the left turned by half looks
        // like one with the photo on the right - but with lower scores than
        // the page the right way up.
        WalkRank best = WalkRank::Of(entry.trace);
        for (int degrees : {90, 180, 270}) {
            tried.push_back(degrees);
            ClassifyTurned(image, degrees, context, entry, result);
            const WalkRank rank = WalkRank::Of(entry.trace);
            if (rank.Beats(best)) {
                best = rank;
                keep = degrees;
            }
        }
        // Run the kept turn again so that the tree, the result and the trace
        // all come from the same run.
        code = ClassifyTurned(image, keep, context, entry, result);
    }
    entry.trace.orientationSearched = true;
    entry.trace.turnsTried = std::move(tried);
    entry.trace.turn = keep;
    return code;
}

int CClassifier::GetDecisionTrace(char16_t* buffer, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!haveTrace_) {
        *length = 0;
        return kErrCallOrder;
    }
    return CopyTextOut(Utf8ToUtf16(lastTrace_.ToJson()), buffer, length);
}

int CClassifier::GetDecisionTraceText(char16_t* buffer, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!haveTrace_) {
        *length = 0;
        return kErrCallOrder;
    }
    return CopyTextOut(Utf8ToUtf16(DecisionTraceText(lastTrace_)), buffer, length);
}

void CClassifier::SetOverlayRecording(bool on) {
    keepPage_ = on;
    if (!on) lastPage_ = CRawImage();
}

int CClassifier::SaveOverlay(const char16_t* path) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !*path) return kErrInvalidParameter;
    CMainTemplateEntry* entry = Entry(lastEntry_);
    if (!haveTrace_ || !keepPage_ || !lastPage_.HasPixels() || !entry) return kErrCallOrder;
    CRawImage picture;
    if (!RenderOverlay(lastPage_, *entry, lastTrace_, RecognisedLines(), picture)) throw std::bad_alloc();
    if (!imagefile::SaveImageFile(picture, path, 0)) return kErrSaveImages;
    return kSuccess;
}

int CClassifier::GetPageTurn(int* degrees) {
    if (!loaded_) return kErrUninitialized;
    if (!degrees) return kErrInvalidParameter;
    if (!haveTrace_) return kErrCallOrder;
    *degrees = lastTrace_.turn;
    return kSuccess;
}

int CClassifier::CheckEngines(int index) {
    if (!loaded_) return kErrUninitialized;
    lastErrorDetail_.clear();
    if (index != -1 && !Entry(index)) return kErrInvalidParameter;
    const EngineGateLock gate(EngineGate());
    for (int i = 0; i < EntryCount(); ++i) {
        if (index != -1 && i != index) continue;
        const int code = Entry(i)->CheckEngines(lastErrorDetail_);
        if (code != kSuccess) return code;
    }
    return kSuccess;
}

int CClassifier::GetLastErrorDetail(char16_t* buffer, int* length) {
    if (!length) return kErrInvalidParameter;
    return CopyTextOut(PathBytesToUtf16(lastErrorDetail_), buffer, length);
}

int CClassifier::GetPageResolution(int* x, int* y, int* source) {
    if (!loaded_) return kErrUninitialized;
    if (!x || !y || !source) return kErrInvalidParameter;
    if (!haveTrace_) return kErrCallOrder;
    *x = lastTrace_.resolutionX;
    *y = lastTrace_.resolutionY;
    *source = static_cast<int>(lastTrace_.resolutionSource);
    return kSuccess;
}

int CClassifier::GetDecisionMargin(int* score, int* margin) {
    if (!loaded_) return kErrUninitialized;
    if (!score || !margin) return kErrInvalidParameter;
    if (!haveTrace_) return kErrCallOrder;
    const DecisionMargin m = lastTrace_.Margin();
    *score = m.known ? m.score : -1;
    *margin = m.known ? m.margin : -1;
    return kSuccess;
}

std::vector<RecognisedLine> CClassifier::RecognisedLines() const {
    const CMainTemplateEntry* entry = Entry(lastEntry_);
    if (!entry) return {};
    return GatherRecognisedLines(lastWalk_, lastTrace_, entry->filters.get());
}

int CClassifier::GetRecognisedText(char16_t* buffer, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!haveTrace_) {
        *length = 0;
        return kErrCallOrder;
    }
    return CopyTextOut(Utf8ToUtf16(RecognisedLinesJson(RecognisedLines(), lastWalk_, lastTrace_.turn)),
                       buffer, length);
}

int CClassifier::GetRecognisedLineCount(int* count) {
    if (!loaded_) return kErrUninitialized;
    if (!count) return kErrInvalidParameter;
    if (!haveTrace_) {
        *count = 0;
        return kErrCallOrder;
    }
    *count = static_cast<int>(RecognisedLines().size());
    return kSuccess;
}

int CClassifier::GetRecognisedLine(int line, char16_t* buffer, int* length, int* box) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!haveTrace_) {
        *length = 0;
        return kErrCallOrder;
    }
    const std::vector<RecognisedLine> lines = RecognisedLines();
    if (line < 0 || static_cast<size_t>(line) >= lines.size()) {
        *length = 0;
        return kErrInvalidParameter;
    }
    const RecognisedLine& l = lines[static_cast<size_t>(line)];
    if (box) {
        box[0] = l.x;
        box[1] = l.y;
        box[2] = l.w;
        box[3] = l.h;
    }
    return CopyTextOut(l.spacedText, buffer, length);
}

int CClassifier::ClassifyImageMemory(unsigned char** rows, int width, int height, int bitsPerPixel,
                                     int index) {
    if (!loaded_) return kErrUninitialized;
    if (!rows || width <= 0 || height <= 0 || (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24))
        return kErrInvalidParameter;
    // A size whose bytes cannot be counted in 32 bits is not an image; a
    // plausible one that cannot be had is a memory shortage. Counted by
    // division: the product of two large sizes overflows.
    const int64_t countedRowBytes = CDib::RowBytes(width, bitsPerPixel);
    if (countedRowBytes <= 0 || countedRowBytes > std::numeric_limits<int32_t>::max() / height)
        return kErrInvalidParameter;
    CRawImage image;
    if (bitsPerPixel != 1) {
        // Gray and colour rows are classified where they are, as a read-only
        // view: the walk copies them only if a step writes the page, and a
        // first conversion (colour to gray) reads them straight into its own
        // result. The caller's rows are never written.
        for (int y = 0; y < height; ++y)
            if (!rows[y]) return kErrInvalidParameter;
        if (!image.ViewRows(rows, width, height, bitsPerPixel, 300)) return kErrNoMemory;
        return ClassifyImage(image, index, &image);
    }
    if (!image.Create(width, height, bitsPerPixel, 300)) return kErrNoMemory;
    const size_t rowBytes = bitsPerPixel == 1   ? (static_cast<size_t>(width) + 7) / 8
                            : bitsPerPixel == 8 ? static_cast<size_t>(width)
                                                : static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        if (!rows[y]) return kErrInvalidParameter;
        std::memcpy(image.Row(y), rows[y], rowBytes);
    }
    if (bitsPerPixel == 1) {
        // Bits past the last pixel of a row are not the caller's pixels.
        if (width % 8) {
            const uint8_t mask = static_cast<uint8_t>(0xFF00 >> (width % 8));
            for (int y = 0; y < height; ++y) image.Row(y)[width / 8] &= mask;
        }
        if (!image.BinToGray(nullptr)) return kErrNoMemory;
    }
    return ClassifyImage(image, index, &image);
}

bool TrustedFileResolution(const CDib& page, int32_t& x, int32_t& y) {
    x = y = 0;
    const int32_t sx = page.StoredXDpi();
    const int32_t sy = page.StoredYDpi();
    // 72 and 96 are what programs write when they know nothing better.
    auto trusted = [](int32_t dpi) {
        return dpi >= imagefile::kMinTrustedDpi && dpi <= imagefile::kMaxTrustedDpi && dpi != 72 && dpi != 96;
    };
    if (!trusted(sx) || !trusted(sy)) return false;
    x = sx;
    y = sy;
    return true;
}

int CClassifier::Classify(int index) {
    if (!loaded_) return kErrUninitialized;
    CMainTemplateEntry* entry = Entry(index);
    if (!entry) return kErrInvalidParameter;
    const CRawImage* captured = HeldPage();
    if (!captured || !captured->HasPixels()) return kErrReadImage;
    CRawImage copy(*captured);
    if (!copy.HasPixels()) return kErrNoMemory;
    PageOrigin origin;
    origin.scaleNum = pageScaleNum_;
    origin.scaleDen = pageScaleDen_;
    if (fileResolution_) TrustedFileResolution(*captured, origin.fileXDpi, origin.fileYDpi);
    return ClassifyImage(copy, index, &copy, origin);
}

CRawImage* CClassifier::HeldPage() const {
    if (!withDevices_) return heldPage_.get();
    CDevice* device = ActiveDevice();
    return device ? device->GetCapturedImage(0) : nullptr;
}

int CClassifier::ClassifyImageFile(const char16_t* path, int index) {
    lastErrorDetail_.clear();
    if (!loaded_ || !path || !path[0]) return kErrReadImage;
    return ReadAndClassifyPage(path, 0, index);
}

int CClassifier::GetResultText(int which, char16_t* buffer, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!lastResult_) {
        *length = 0;
        return kErrClassify;
    }
    const std::u16string& text = which == 0   ? lastResult_->name
                                 : which == 1 ? lastResult_->id
                                              : lastResult_->outputId;
    return CopyTextOut(text, buffer, length);
}

int CClassifier::MapDeviceCode(int answer, int otherwise) {
    if (answer == 0) return kSuccess;
    if (answer == 5) return kErrNotSupported;
    return otherwise;
}

int CClassifier::CaptureImage() {
    if (!loaded_) return kErrUninitialized;
    CDevice* device = ActiveDevice();
    pageScaleNum_ = pageScaleDen_ = 1;
    heldPage_.reset();
    return device ? MapDeviceCode(device->Capture(), kErrCapture) : kErrCapture;
}

int CClassifier::SetCapturedAttribute(int attribute, int value) {
    if (!loaded_) return kErrUninitialized;
    CDevice* device = ActiveDevice();
    return device ? MapDeviceCode(device->SetCapturedAttribute(attribute, value), kErrUninitialized)
                  : kErrUninitialized;
}

int CClassifier::SetCapturedRange(int left, int top, int right, int bottom) {
    if (!loaded_) return kErrUninitialized;
    CDevice* device = ActiveDevice();
    return device ? MapDeviceCode(device->SetCapturedRange(left, top, right, bottom), kErrUninitialized)
                  : kErrUninitialized;
}

int CClassifier::IsHavePaper() {
    if (!loaded_) return kErrUninitialized;
    CDevice* device = ActiveDevice();
    return device ? MapDeviceCode(device->HavePaper(), kErrNoPaper) : kErrNoPaper;
}

int CClassifier::LoadLocalImage(const char16_t* path) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !path[0]) return kErrInvalidParameter;
    // Read at full size: the host may save the page again.
    imagefile::DecodeOptions options;
    options.threads = decodeThreads_;
    lastErrorDetail_.clear();
    if (withDevices_ && !ActiveDevice()) return ReadFailed(path);
    auto image = std::make_unique<CRawImage>();
    if (!imagefile::LoadImageFile(*image, path, &options) || !image->HasPixels()) {
        DropHeldPage();
        return ReadFailed(path);
    }
    return HoldPage(std::move(image), options) ? kSuccess : kErrNoMemory;
}

int CClassifier::SaveCapturedImage(const char16_t* path, int saveOption) {
    if (!loaded_) return kErrUninitialized;
    if (!path || !path[0]) return kErrInvalidParameter;
    if (!withDevices_) {
        if (!heldPage_) return kErrCallOrder;
        return imagefile::SaveImageFile(*heldPage_, path, static_cast<uint32_t>(saveOption)) ? kSuccess
                                                                                             : kErrSaveImages;
    }
    CDevice* device = ActiveDevice();
    if (!device || device->GetCapturedImageCount() == 0) return kErrCallOrder;
    return device->SaveCapturedImage(path, saveOption) == 0 ? kSuccess : kErrSaveImages;
}

}  // namespace libMorvaneClassifier
