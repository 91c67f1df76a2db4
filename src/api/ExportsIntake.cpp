// The exported functions for page files beyond the first page, encoded
// images in memory and the last failure's detail.
#include <new>

#include "api/Classifier.h"
#include "core/ResultCodes.h"
#include "morvane/classifier.h"

using namespace libMorvaneClassifier;

namespace {

template <typename F>
int Guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (...) {
        return kErrUndefined;
    }
}

const char16_t* In(const MorvaneChar* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace

extern "C" {

MORVANE_API int MORVANE_CALL MorvaneGetLastErrorDetail(MorvaneChar* buffer, int* length) {
    return Guarded([&] { return TheClassifier().GetLastErrorDetail(reinterpret_cast<char16_t*>(buffer), length); });
}

MORVANE_API int MORVANE_CALL MorvaneGetImagePageCount(const MorvaneChar* path, int* count) {
    return Guarded([&] { return TheClassifier().GetImagePageCount(In(path), count); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifyImageFilePage(const MorvaneChar* path, int page, int index) {
    return Guarded([&] { return TheClassifier().ClassifyImageFilePage(In(path), page, index); });
}

MORVANE_API int MORVANE_CALL MorvaneClassifyEncodedImage(const unsigned char* data, long long size, int page,
                                                         int index) {
    return Guarded([&] { return TheClassifier().ClassifyEncodedImage(data, size, page, index); });
}

}  // extern "C"
