// morvane-locate: the reference's pictures of the line and character
// location methods.
//
//   morvane-locate FILTERS.xml INDEX PAGE OUT.png LINE_TYPE CHAR_TYPE [gray]
//
// Reads the text filter INDEX of the filter template FILTERS.xml and the page
// PAGE, runs the filter's own preprocessing on a copy of the page and cuts
// the filter's region out of it, exactly as the filter does, then locates the
// lines with line location method LINE_TYPE only and the characters of each
// line with character location method CHAR_TYPE only (the filter's line and
// character properties, and each method's own steps, are kept). With "gray"
// the filter's own preprocessing is left out and the methods see the page
// turned gray (the gray-level line method needs gray levels). Writes
// OUT.png: the region of the page as it came in, gray, with the lines found
// boxed in magenta and the characters in teal. Prints the number of lines and
// characters found. Exit status 0 when written (also when nothing was
// found), 1 when the files cannot be read or written, 2 on usage errors.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/TextConv.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterText.h"
#include "image/Cropper.h"
#include "image/Dib.h"
#include "image/PixelGray.h"
#include "imagefile/ImageFile.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "preprocess/ImageProcessing.h"

using namespace libMorvaneClassifier;

namespace {

void Put(CRawImage& img, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    uint8_t* p = img.Row(y) + static_cast<size_t>(x) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

void Box(CRawImage& img, const TextBox& b, int dx, int dy, uint8_t r, uint8_t g, uint8_t bl, int thick) {
    for (int t = 0; t < thick; ++t) {
        const int l = b.left + dx - t, tp = b.top + dy - t, rt = b.right + dx - 1 + t,
                  bt = b.bottom + dy - 1 + t;
        for (int x = l; x <= rt; ++x) {
            Put(img, x, tp, r, g, bl);
            Put(img, x, bt, r, g, bl);
        }
        for (int y = tp; y <= bt; ++y) {
            Put(img, l, y, r, g, bl);
            Put(img, rt, y, r, g, bl);
        }
    }
}

// Keeps only the first method of the list and gives it the asked type, so
// that its own steps still prepare the image it works on.
template <typename List>
bool OnlyMethod(List* list, int32_t type) {
    if (!list || list->Count() < 1) return false;
    list->items.resize(1);
    list->Get(0)->type = type;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool gray = argc == 8 && std::string(argv[7]) == "gray";
    if (argc != 7 && !gray) {
        std::fputs("usage: morvane-locate FILTERS.xml INDEX PAGE OUT.png LINE_TYPE CHAR_TYPE [gray]\n",
                   stderr);
        return 2;
    }
    const int32_t index = std::atoi(argv[2]);
    const int32_t lineType = std::atoi(argv[5]);
    const int32_t charType = std::atoi(argv[6]);
    CFilterArray filters;
    if (!filters.Load(Utf8ToUtf16(argv[1]))) {
        std::fprintf(stderr, "morvane-locate: cannot read the filter template %s\n", argv[1]);
        return 1;
    }
    CFilterBase* filter = filters.Find(index);
    auto* rule = filter ? dynamic_cast<CFilterTextInfo*>(filter->rule.get()) : nullptr;
    if (!rule || !rule->lineLocation || !rule->charLocation) {
        std::fprintf(stderr,
                     "morvane-locate: filter %d is not a text filter with line and character location\n",
                     index);
        return 2;
    }
    if (!OnlyMethod(rule->lineLocation->methods.get(), lineType) ||
        !OnlyMethod(rule->charLocation->methods.get(), charType)) {
        std::fputs("morvane-locate: the filter lists no location method\n", stderr);
        return 2;
    }
    CRawImage page;
    if (!imagefile::LoadImageFile(page, Utf8ToUtf16(argv[3]))) {
        std::fprintf(stderr, "morvane-locate: cannot read %s\n", argv[3]);
        return 1;
    }
    CRawImage work(page);
    if (!gray) {
        ApplyImageProcessingList(work, filter->steps.get());
    } else if (page.bitCount == 24) {
        if (!page.TrueColorToGray(&work, -1)) return 1;
    } else if (page.bitCount == 1) {
        if (!page.BinToGray(&work)) return 1;
    }
    if (!work.HasPixels()) return 1;
    rule->SetImageSize(work.width, work.height);
    const std::optional<Rect32> r = rule->EffectiveRegion();
    if (!r) return 1;
    CRawImage region;
    CCropper cropper(&work);
    cropper.left = r->left;
    cropper.top = r->top;
    cropper.right = r->right;
    cropper.bottom = r->bottom;
    if (!cropper.Process(region) || !region.HasPixels()) return 1;

    std::vector<TextLineResult> found;
    LocateText(region, *rule->lineLocation, *rule->charLocation, found);
    size_t chars = 0;
    for (const TextLineResult& f : found) chars += f.chars.size();
    std::printf("%zu lines, %zu characters\n", found.size(), chars);

    // The picture: the region of the page as it came in (the filter's steps
    // may have changed its size; the region is placed by the same corner).
    CRawImage out;
    const int w = cropper.right - cropper.left, h = cropper.bottom - cropper.top;
    if (w <= 0 || h <= 0 || out.Create(w, h, 24, 0) == 0) return 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int px = cropper.left + x, py = cropper.top + y;
            const uint8_t v = px < page.width && py < page.height ? GrayAt(page, px, py) : 255;
            const uint8_t l = static_cast<uint8_t>(90 + v * 165 / 255);
            Put(out, x, y, l, l, l);
        }
    for (const TextLineResult& f : found) {
        Box(out, f.line, 0, 0, 200, 0, 200, 2);
        for (const TextBox& c : f.chars) Box(out, c, 0, 0, 0, 140, 150, 1);
    }
    // Only the part around the lines found (16 pixels more on each side), so
    // that small characters stay visible in a small picture.
    if (!found.empty()) {
        TextBox u = found.front().line;
        for (const TextLineResult& f : found) {
            u.left = std::min(u.left, f.line.left);
            u.top = std::min(u.top, f.line.top);
            u.right = std::max(u.right, f.line.right);
            u.bottom = std::max(u.bottom, f.line.bottom);
        }
        CRawImage part;
        CCropper around(&out);
        around.left = std::max(0, u.left - 16);
        around.top = std::max(0, u.top - 16);
        around.right = std::min(out.width, u.right + 16);
        around.bottom = std::min(out.height, u.bottom + 16);
        if (around.Process(part) && part.HasPixels()) out = std::move(part);
    }
    if (!imagefile::SaveImageFile(out, Utf8ToUtf16(argv[4]), 0)) {
        std::fprintf(stderr, "morvane-locate: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
