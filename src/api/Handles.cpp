// The exported functions of classifier handles: independent classifiers a
// host creates, uses and destroys. Each handle carries its own lock, so one
// handle's calls are served one after another while different handles run
// side by side on their own threads; the default instance's lock
// (Exports.cpp) does not cover them. The engine gate
// (engines/GeneralRecog.h) serialises what all classifiers share.
//
// Handles are numbers handed out once and never again, kept in a table:
// a handle that was never created or is already destroyed is found missing
// and answers -56, whatever its value. A destroy that races with a call on
// the same handle waits for that call to return (the call holds the
// classifier and its lock until then).
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "api/Classifier.h"
#include "core/ResultCodes.h"
#include "imagefile/ImageCodecs.h"
#include "morvane/classifier.h"

using namespace libMorvaneClassifier;

namespace {

const char16_t* In(const MorvaneChar* text) { return reinterpret_cast<const char16_t*>(text); }
char16_t* Out(MorvaneChar* text) { return reinterpret_cast<char16_t*>(text); }

constexpr int kMaxDecodeThreads = 64;

// One handle's classifier and the lock its calls take.
struct HandleState {
    std::mutex lock;
    CClassifier classifier{false};
};

class HandleTable {
public:
    // A new handle's number: never 0, never reused.
    uintptr_t Add(std::shared_ptr<HandleState> state) {
        std::lock_guard<std::mutex> hold(lock_);
        const uintptr_t key = ++last_;
        states_.emplace(key, std::move(state));
        return key;
    }
    std::shared_ptr<HandleState> Find(uintptr_t key) {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = states_.find(key);
        return it == states_.end() ? nullptr : it->second;
    }
    std::shared_ptr<HandleState> Remove(uintptr_t key) {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = states_.find(key);
        if (it == states_.end()) return nullptr;
        std::shared_ptr<HandleState> state = std::move(it->second);
        states_.erase(it);
        return state;
    }

private:
    std::mutex lock_;
    uintptr_t last_ = 0;
    std::unordered_map<uintptr_t, std::shared_ptr<HandleState>> states_;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

uintptr_t KeyOf(MorvaneClassifier* handle) { return reinterpret_cast<uintptr_t>(handle); }

// Runs body on the handle's classifier under the handle's lock; no
// exception leaves.
template <typename F>
int OnHandle(MorvaneClassifier* handle, F&& body) {
    try {
        const std::shared_ptr<HandleState> state = Handles().Find(KeyOf(handle));
        if (!state) return kErrInvalidHandle;
        std::lock_guard<std::mutex> hold(state->lock);
        return body(state->classifier);
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (...) {
        return kErrUndefined;
    }
}

}  // namespace

extern "C" {

MORVANE_API int MORVANE_CALL MorvaneClassifierCreate(const MorvaneChar* directory,
                                                     MorvaneClassifier** handle) {
    if (!handle) return kErrInvalidParameter;
    *handle = nullptr;
    try {
        auto state = std::make_shared<HandleState>();
        const int code = state->classifier.Load(nullptr, In(directory));
        if (code != kSuccess) return code;
        *handle = reinterpret_cast<MorvaneClassifier*>(Handles().Add(std::move(state)));
        return kSuccess;
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (...) {
        return kErrUndefined;
    }
}

MORVANE_API int MORVANE_CALL MorvaneClassifierDestroy(MorvaneClassifier* handle) {
    try {
        std::shared_ptr<HandleState> state = Handles().Remove(KeyOf(handle));
        if (!state) return kErrInvalidHandle;
        // A call on another thread that found the handle first finishes
        // before the classifier goes (it holds the state too).
        std::unique_lock<std::mutex> hold(state->lock);
        state->classifier.Free();
        return kSuccess;
    } catch (...) {
        return kErrUndefined;
    }
}

MORVANE_API int MORVANE_CALL MorvaneClassifierAddMainTemplate(MorvaneClassifier* handle,
                                                              const MorvaneChar* path, int* index) {
    return OnHandle(handle, [&](CClassifier& c) { return c.AddMainTemplate(In(path), index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetPixelResolution(MorvaneClassifier* handle, int horizontalDpi,
                                                                 int verticalDpi, int index) {
    return OnHandle(handle,
                    [&](CClassifier& c) { return c.SetPixelResolution(horizontalDpi, verticalDpi, index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetTemplateValid(MorvaneClassifier* handle,
                                                               const MorvaneChar* templateId, int index) {
    return OnHandle(handle, [&](CClassifier& c) {
        if (!c.IsLoaded()) return static_cast<int>(kErrUninitialized);
        if (index < 0 || index >= c.EntryCount()) return static_cast<int>(kErrInvalidParameter);
        return c.SetTemplateValid(In(templateId), index);
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierResetAllTemplates(MorvaneClassifier* handle, int valid,
                                                                int index) {
    return OnHandle(handle, [&](CClassifier& c) {
        if (index < 0 || index >= c.EntryCount()) return static_cast<int>(kErrInvalidParameter);
        return c.ResetAllTemplates(valid, index);
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetAttribute(MorvaneClassifier* handle, int attribute,
                                                           int value, int index) {
    return OnHandle(handle, [&](CClassifier& c) {
        if (index < 0 || index >= c.EntryCount()) return static_cast<int>(kErrInvalidParameter);
        return c.SetAttribute(attribute, value, index);
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetDecodeResolution(MorvaneClassifier* handle, int dpi) {
    return OnHandle(handle, [&](CClassifier& c) -> int {
        if (dpi != 0 && (dpi < imagefile::kMinTrustedDpi || dpi > imagefile::kMaxTrustedDpi))
            return kErrInvalidParameter;
        c.SetDecodeResolution(dpi);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetDecodeThreads(MorvaneClassifier* handle, int threads) {
    return OnHandle(handle, [&](CClassifier& c) -> int {
        if (threads < 0 || threads > kMaxDecodeThreads) return kErrInvalidParameter;
        c.SetDecodeThreads(threads);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetFileResolution(MorvaneClassifier* handle, int on) {
    return OnHandle(handle, [&](CClassifier& c) -> int {
        c.SetFileResolution(on != 0);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetOrientationSearch(MorvaneClassifier* handle, int on) {
    return OnHandle(handle, [&](CClassifier& c) -> int {
        c.SetOrientationSearch(on != 0);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSetOverlayRecording(MorvaneClassifier* handle, int on) {
    return OnHandle(handle, [&](CClassifier& c) -> int {
        c.SetOverlayRecording(on != 0);
        return kSuccess;
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierSaveOverlay(MorvaneClassifier* handle,
                                                          const MorvaneChar* path) {
    return OnHandle(handle, [&](CClassifier& c) { return c.SaveOverlay(In(path)); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierCheckEngines(MorvaneClassifier* handle, int index) {
    return OnHandle(handle, [&](CClassifier& c) { return c.CheckEngines(index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageFile(MorvaneClassifier* handle,
                                                                const MorvaneChar* path, int index) {
    return OnHandle(handle, [&](CClassifier& c) { return c.ClassifyImageFile(In(path), index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageFilePage(MorvaneClassifier* handle,
                                                                    const MorvaneChar* path, int page,
                                                                    int index) {
    return OnHandle(handle, [&](CClassifier& c) { return c.ClassifyImageFilePage(In(path), page, index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetImagePageCount(MorvaneClassifier* handle,
                                                                const MorvaneChar* path, int* count) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetImagePageCount(In(path), count); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetEncodedImagePageCount(MorvaneClassifier* handle,
                                                                       const unsigned char* data,
                                                                       long long size, int* count) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetEncodedImagePageCount(data, size, count); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyImageMemory(MorvaneClassifier* handle,
                                                                  unsigned char** rows, int width, int height,
                                                                  int bitsPerPixel, int index) {
    return OnHandle(handle, [&](CClassifier& c) {
        return c.ClassifyImageMemory(rows, width, height, bitsPerPixel, index);
    });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierClassifyEncodedImage(MorvaneClassifier* handle,
                                                                   const unsigned char* data, long long size,
                                                                   int page, int index) {
    return OnHandle(handle, [&](CClassifier& c) { return c.ClassifyEncodedImage(data, size, page, index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateName(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                              int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetResultText(0, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateID(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                            int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetResultText(1, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetTemplateOutputID(MorvaneClassifier* handle,
                                                                  MorvaneChar* buffer, int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetResultText(2, Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetLastErrorDetail(MorvaneClassifier* handle,
                                                                 MorvaneChar* buffer, int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetLastErrorDetail(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionMargin(MorvaneClassifier* handle, int* score,
                                                                int* margin) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetDecisionMargin(score, margin); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetPageResolution(MorvaneClassifier* handle, int* horizontalDpi,
                                                                int* verticalDpi, int* source) {
    return OnHandle(handle,
                    [&](CClassifier& c) { return c.GetPageResolution(horizontalDpi, verticalDpi, source); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetPageTurn(MorvaneClassifier* handle, int* degrees) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetPageTurn(degrees); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionTrace(MorvaneClassifier* handle, MorvaneChar* buffer,
                                                               int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetDecisionTrace(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetDecisionTraceText(MorvaneClassifier* handle,
                                                                   MorvaneChar* buffer, int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetDecisionTraceText(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedText(MorvaneClassifier* handle,
                                                                MorvaneChar* buffer, int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetRecognisedText(Out(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedLineCount(MorvaneClassifier* handle, int* count) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetRecognisedLineCount(count); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedLine(MorvaneClassifier* handle, int line,
                                                                MorvaneChar* buffer, int* length, int* box) {
    return OnHandle(handle,
                    [&](CClassifier& c) { return c.GetRecognisedLine(line, Out(buffer), length, box); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifierGetRecognisedZone(MorvaneClassifier* handle,
                                                                MorvaneChar* buffer, int* length) {
    return OnHandle(handle, [&](CClassifier& c) { return c.GetRecognisedZone(Out(buffer), length); });
}

}  // extern "C"
