// The exported C functions: each is a thin entry into the one classifier.
// No exception leaves the library; running out of memory answers -62.
#include <mutex>
#include <new>

#include "api/Classifier.h"
#include "core/MachineReadableZone.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/PdfCodec.h"
#include "morvane/classifier.h"

using namespace libMorvaneClassifier;

namespace {

const char16_t* In(const MorvaneChar* text) { return reinterpret_cast<const char16_t*>(text); }
char16_t* Out(MorvaneChar* text) { return reinterpret_cast<char16_t*>(text); }

// Every exported function of the one classifier runs under this lock, so
// that calls from several host threads are served one after the other.
// Recursive: nothing re-enters today, but a hang is the worst answer to a
// call made from inside one.
std::recursive_mutex& ApiLock() {
    static std::recursive_mutex lock;
    return lock;
}

template <typename F>
int Guarded(F&& body) {
    std::unique_lock<std::recursive_mutex> hold(ApiLock(), std::defer_lock);
    try {
        hold.lock();
        return body();
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (...) {
        return kErrUndefined;
    }
}

// The project's version, from CMakeLists.txt.
#ifndef MORVANE_VERSION
#error "MORVANE_VERSION must be defined by the build"
#endif
constexpr char kVersion[] = MORVANE_VERSION;
constexpr int kMaxDecodeThreads = 64;

}  // namespace

extern "C" {

MORVANE_API int MORVANE_CALL LoadClassifier(const MorvaneChar* reserved, const MorvaneChar* directory) {
    return Guarded([&] { return TheClassifier().Load(In(reserved), In(directory)); });
}

MORVANE_API void MORVANE_CALL FreeClassifier(void) {
    Guarded([&] {
        TheClassifier().Free();
        return 0;
    });
}

MORVANE_API int MORVANE_CALL AddMainTemplate(const MorvaneChar* path, int* index) {
    return Guarded([&] { return TheClassifier().AddMainTemplate(In(path), index); });
}

MORVANE_API int MORVANE_CALL SetPixelResolution(int horizontalDpi, int verticalDpi, int index) {
    return Guarded([&] { return TheClassifier().SetPixelResolution(horizontalDpi, verticalDpi, index); });
}

MORVANE_API int MORVANE_CALL SetTemplateValid(const MorvaneChar* templateId, int, int index) {
    return Guarded([&] { return TheClassifier().SetTemplateValid(In(templateId), index); });
}

MORVANE_API int MORVANE_CALL ResetAllTemplates(int valid, int index) {
    return Guarded([&] { return TheClassifier().ResetAllTemplates(valid, index); });
}

MORVANE_API int MORVANE_CALL SetAttribute(int attribute, int value, int index) {
    return Guarded([&] { return TheClassifier().SetAttribute(attribute, value, index); });
}

MORVANE_API int MORVANE_CALL ClassifyImageFile(const MorvaneChar* path, int index) {
    return Guarded([&] { return TheClassifier().ClassifyImageFile(In(path), index); });
}

MORVANE_API int MORVANE_CALL ClassifyImageMemory(unsigned char** rows, int width, int height,
                                                 int bitsPerPixel, int index) {
    return Guarded(
        [&] { return TheClassifier().ClassifyImageMemory(rows, width, height, bitsPerPixel, index); });
}

MORVANE_API int MORVANE_CALL Classify(int index) {
    return Guarded([&] { return TheClassifier().Classify(index); });
}

MORVANE_API int MORVANE_CALL GetTemplateName(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetResultText(0, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL GetTemplateID(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetResultText(1, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL GetTemplateOutputID(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetResultText(2, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL GetErrorMsg(int code, MorvaneChar* buffer, int* length) {
    return Guarded([&] {
        if (!length) return static_cast<int>(kErrInvalidParameter);
        if (code > 63 || code < -63) {
            *length = 0;
            return static_cast<int>(kErrInvalidParameter);
        }
        const int absCode = code < 0 ? -code : code;
        return CopyTextOut(AsciiToUtf16(ErrorMessage(absCode)), Out(buffer), length);
    });
}

MORVANE_API int MORVANE_CALL GetSDKVersion(MorvaneChar* buffer, int* length) {
    return Guarded([&] {
        if (!length) return static_cast<int>(kErrInvalidParameter);
        // The host must offer room for the whole version text; a shorter
        // buffer is refused rather than overrun.
        const int offered = *length;
        *length = static_cast<int>(sizeof(kVersion));
        if (!buffer) return static_cast<int>(kErrInvalidParameter);
        if (offered < static_cast<int>(sizeof(kVersion))) return static_cast<int>(kErrNoMemory);
        for (size_t i = 0; i < sizeof(kVersion); ++i) buffer[i] = static_cast<MorvaneChar>(kVersion[i]);
        return static_cast<int>(kSuccess);
    });
}

MORVANE_API int MORVANE_CALL CaptureImage(void) {
    return Guarded([&] { return TheClassifier().CaptureImage(); });
}

MORVANE_API int MORVANE_CALL SetCapturedAttribute(int attribute, int value) {
    return Guarded([&] { return TheClassifier().SetCapturedAttribute(attribute, value); });
}

MORVANE_API int MORVANE_CALL SetCapturedRange(int left, int top, int right, int bottom) {
    return Guarded([&] { return TheClassifier().SetCapturedRange(left, top, right, bottom); });
}

MORVANE_API int MORVANE_CALL IsHavePaper(void) {
    return Guarded([&] { return TheClassifier().IsHavePaper(); });
}

MORVANE_API int MORVANE_CALL LoadLocalImage(const MorvaneChar* path) {
    return Guarded([&] { return TheClassifier().LoadLocalImage(In(path)); });
}

MORVANE_API int MORVANE_CALL SaveCapturedImage(const MorvaneChar* path, int saveOption) {
    return Guarded([&] { return TheClassifier().SaveCapturedImage(In(path), saveOption); });
}

MORVANE_API int MORVANE_CALL MorvaneSetPageBudget(long long maxPixels, long long maxDecoderBytes) {
    return Guarded([&]() -> int {
        if (maxPixels < 0 || maxDecoderBytes < 0) return kErrInvalidParameter;
        imagefile::PageBudget& budget = imagefile::CurrentPageBudget();
        budget.maxPixels = maxPixels ? maxPixels : imagefile::PageBudget::kDefaultMaxPixels;
        budget.maxDecoderBytes =
            maxDecoderBytes ? maxDecoderBytes : imagefile::PageBudget::kDefaultMaxDecoderBytes;
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneSetDecodeResolution(int dpi) {
    return Guarded([&]() -> int {
        if (dpi != 0 && (dpi < imagefile::kMinTrustedDpi || dpi > imagefile::kMaxTrustedDpi))
            return kErrInvalidParameter;
        TheClassifier().SetDecodeResolution(dpi);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneSetDecodeThreads(int threads) {
    return Guarded([&]() -> int {
        if (threads < 0 || threads > kMaxDecodeThreads) return kErrInvalidParameter;
        TheClassifier().SetDecodeThreads(threads);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneCheckEngines(int index) {
    return Guarded([&] { return TheClassifier().CheckEngines(index); });
}

MORVANE_API int MORVANE_CALL MorvaneGetLastErrorDetail(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetLastErrorDetail(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneSetFileResolution(int on) {
    return Guarded([&] {
        TheClassifier().SetFileResolution(on != 0);
        return static_cast<int>(kSuccess);
    });
}

MORVANE_API int MORVANE_CALL MorvaneGetPageResolution(int* horizontalDpi, int* verticalDpi, int* source) {
    return Guarded([&] { return TheClassifier().GetPageResolution(horizontalDpi, verticalDpi, source); });
}

MORVANE_API int MORVANE_CALL MorvaneGetDecisionMargin(int* score, int* margin) {
    return Guarded([&] { return TheClassifier().GetDecisionMargin(score, margin); });
}

MORVANE_API int MORVANE_CALL MorvaneGetDecisionTrace(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetDecisionTrace(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneGetDecisionTraceText(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetDecisionTraceText(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneSetOverlayRecording(int on) {
    return Guarded([&] {
        TheClassifier().SetOverlayRecording(on != 0);
        return 0;
    });
}

MORVANE_API int MORVANE_CALL MorvaneSaveOverlay(const MorvaneChar* path) {
    return Guarded([&] { return TheClassifier().SaveOverlay(In(path)); });
}

MORVANE_API int MORVANE_CALL MorvaneSetOrientationSearch(int on) {
    return Guarded([&] {
        TheClassifier().SetOrientationSearch(on != 0);
        return static_cast<int>(kSuccess);
    });
}

MORVANE_API int MORVANE_CALL MorvaneGetPageTurn(int* degrees) {
    return Guarded([&] { return TheClassifier().GetPageTurn(degrees); });
}

MORVANE_API int MORVANE_CALL MorvaneGetRecognisedText(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetRecognisedText(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneGetRecognisedLineCount(int* count) {
    return Guarded([&] { return TheClassifier().GetRecognisedLineCount(count); });
}

MORVANE_API int MORVANE_CALL MorvaneGetRecognisedLine(int line, MorvaneChar* buffer, int* length, int* box) {
    return Guarded([&] { return TheClassifier().GetRecognisedLine(line, Out(buffer), length, box); });
}

MORVANE_API int MORVANE_CALL MorvaneParseMrz(const MorvaneChar* zone, MorvaneChar* buffer, int* length) {
    return Guarded([&]() -> int {
        if (!zone || !length) return kErrInvalidParameter;
        // A zone is three short lines; text beyond this is not read.
        constexpr size_t kMaxZoneText = 1u << 16;
        const char16_t* text = In(zone);
        size_t n = 0;
        while (n <= kMaxZoneText && text[n]) ++n;
        if (n > kMaxZoneText) {
            *length = 0;
            return kErrInvalidParameter;
        }
        const MrzZone parsed = ParseMrz(std::u16string(text, n));
        return CopyTextOut(Utf8ToUtf16(MrzZoneJson(parsed)), Out(buffer), length);
    });
}

// Pages of image files beyond the first, and encoded images in memory.
MORVANE_API int MORVANE_CALL MorvaneGetImagePageCount(const MorvaneChar* path, int* count) {
    return Guarded(
        [&] { return TheClassifier().GetImagePageCount(reinterpret_cast<const char16_t*>(path), count); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifyImageFilePage(const MorvaneChar* path, int page, int index) {
    return Guarded([&] {
        return TheClassifier().ClassifyImageFilePage(reinterpret_cast<const char16_t*>(path), page, index);
    });
}

MORVANE_API int MORVANE_CALL MorvaneGetEncodedImagePageCount(const unsigned char* data, long long size,
                                                             int* count) {
    return Guarded([&] { return TheClassifier().GetEncodedImagePageCount(data, size, count); });
}

MORVANE_API int MORVANE_CALL MorvaneSetPdfRenderResolution(int dpi) {
    return Guarded([&]() -> int {
        if (dpi != 0 &&
            (dpi < imagefile::PdfSettings::kMinRenderDpi || dpi > imagefile::PdfSettings::kMaxRenderDpi))
            return kErrInvalidParameter;
        imagefile::CurrentPdfSettings().renderDpi = dpi ? dpi : imagefile::PdfSettings::kDefaultRenderDpi;
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifyEncodedImage(const unsigned char* data, long long size, int page,
                                                         int index) {
    return Guarded([&] { return TheClassifier().ClassifyEncodedImage(data, size, page, index); });
}

}  // extern "C"
