// The method loop the line and the character location drivers share.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "image/Dib.h"
#include "layout/LayoutBase.h"
#include "layout/TextBox.h"
#include "preprocess/ImageProcessing.h"
#include "preprocess/ImageProcessingList.h"

namespace libMorvaneClassifier {
namespace layout_detail {

// Tries the methods of a location list in order. Each method gets the
// analyser `create` makes for its type and its own copy of `image` after its
// steps; `attempt(analyser, work, found)` runs the analyser and the driver's
// post-passes. The first method whose count of boxes lies in
// [minNum, maxNum] (maxNum < 1: no upper limit) gives `boxes`; the result is
// then whether they are not empty. False with `boxes` untouched when no
// method gives an acceptable count. Methods without steps that repeat the
// analyser type of an earlier method without steps are not run again: they
// would see the same image and give the same result. Running out of memory
// is a failure like any other (false, `boxes` untouched).
template <class Methods, class Attempt>
bool TryLocationMethods(const CRawImage& image, const Methods& methods,
                        std::unique_ptr<CLayoutBase> (*create)(int32_t type), int32_t minNum, int32_t maxNum,
                        Attempt&& attempt, TextBoxList& boxes) try {
    const int64_t lowest = minNum;
    const int64_t highest = maxNum < 1 ? 9999999 : maxNum;
    std::vector<int32_t> triedWithoutSteps;
    for (const auto& method : methods.items) {
        const bool hasSteps = ImageProcessingCount(method->steps.get()) > 0;
        if (!hasSteps) {
            if (std::find(triedWithoutSteps.begin(), triedWithoutSteps.end(), method->type) !=
                triedWithoutSteps.end())
                continue;
            triedWithoutSteps.push_back(method->type);
        }
        std::unique_ptr<CLayoutBase> analyser = create(method->type);
        if (!analyser) continue;
        CRawImage work(image);
        if (!work.HasPixels()) continue;
        if (hasSteps && !ApplyImageProcessingList(work, method->steps.get())) continue;
        TextBoxList found;
        if (!attempt(*analyser, work, found)) continue;
        const int64_t n = static_cast<int64_t>(found.size());
        if (n < lowest || n > highest) continue;
        boxes = std::move(found);
        return !boxes.empty();
    }
    return false;
} catch (const std::bad_alloc&) {
    return false;
}

}  // namespace layout_detail
}  // namespace libMorvaneClassifier
