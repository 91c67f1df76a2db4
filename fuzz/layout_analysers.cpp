// Turns its bytes into a small page (1-bit, and an 8-bit copy) plus line and
// character property values and a location range, then runs every layout
// analyser and the line, character and text drivers on it.
//
// Input layout: width, height (1..96 each), 8 line limits, 4 margins, 4 range
// values, 2 line counts, 8 character limits, 2 character counts, dot flag
// and sizes; the rest are the pixel bits, row by row (missing bytes white).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/Dib.h"
#include "layout/CharLocation.h"
#include "layout/LayoutAnalyzer.h"
#include "layout/LayoutBase.h"
#include "layout/LineLocation.h"

using namespace libMorvaneClassifier;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    int32_t Signed() { return static_cast<int8_t>(Byte()); }
};

void CheckBoxes(const TextBoxList& boxes, const CRawImage& img) {
    for (const TextBox& b : boxes)
        if (b.left < 0 || b.top < 0 || b.right > img.width - 1 || b.bottom > img.height - 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const int32_t w = 1 + r.Byte() % 96, h = 1 + r.Byte() % 96;

    CLineLocationInfo lineInfo;
    auto lp = std::make_unique<CLineProperty>();
    lp->MinLength = r.Byte() * 4;
    lp->MaxLength = r.Byte() * 4;
    lp->MinHeight = r.Signed();
    lp->MaxHeight = r.Signed();
    lp->MinSpace = r.Signed();
    lp->MaxSpace = r.Signed();
    lp->LeftPlus = r.Signed();
    lp->RightPlus = r.Signed();
    lp->TopPlus = r.Signed();
    lp->BottomPlus = r.Signed();
    lineInfo.Left = r.Signed();
    lineInfo.Top = r.Signed();
    lineInfo.Right = r.Signed();
    lineInfo.Bottom = r.Signed();
    lp->MinNum = r.Signed() / 16;
    lp->MaxNum = r.Signed() / 8;
    lineInfo.property = std::move(lp);
    lineInfo.methods = std::make_unique<CLineLocationMethodList>();
    for (int type : {3, 2, 1, 0}) {
        auto m = std::make_unique<CLineLocationMethod>();
        m->type = type;
        lineInfo.methods->Append(std::move(m));
    }
    // Every pixel limit equals its value.
    lineInfo.SetImageSize(10000, 10000);

    CCharLocationInfo charInfo;
    auto cp = std::make_unique<CCharProperty>();
    cp->MinWidth = r.Signed();
    cp->MaxWidth = r.Signed();
    cp->MinHeight = r.Signed();
    cp->MaxHeight = r.Signed();
    cp->MinWHRatio = r.Byte() * 2;
    cp->MaxWHRatio = r.Byte() * 2;
    cp->MinSpace = r.Signed();
    cp->MaxSpace = r.Signed();
    cp->MinNum = r.Signed() / 8;
    cp->MaxNum = r.Signed();
    cp->IsIgnorePoint = r.Byte() & 1;
    cp->MaxPointWidth = r.Signed();
    cp->MaxPointHeight = r.Signed();
    charInfo.property = std::move(cp);
    charInfo.methods = std::make_unique<CCharLocationMethodList>();
    for (int type : {3, 0, 2, 1}) {
        auto m = std::make_unique<CCharLocationMethod>();
        m->type = type;
        charInfo.methods->Append(std::move(m));
    }
    charInfo.SetImageSize(10000, 10000);

    CRawImage bin, gray;
    if (!bin.Create(w, h, 1, 300) || !gray.Create(w, h, 8, 300)) return 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; x += 8) bin.Row(y)[x >> 3] = r.Byte();
        // Clear the bits past the width in the last byte.
        if (w & 7) bin.Row(y)[(w - 1) >> 3] &= static_cast<uint8_t>(0xFF << (8 - (w & 7)));
        for (int32_t x = 0; x < w; ++x)
            gray.Row(y)[x] = (bin.Row(y)[x >> 3] & (0x80 >> (x & 7))) ? static_cast<uint8_t>(x * 3 % 60)
                                                                      : static_cast<uint8_t>(255 - y % 40);
    }

    const CLineProperty& lineProp = *lineInfo.property;
    const CCharProperty& charProp = *charInfo.property;
    for (const CRawImage* img : {&bin, &gray}) {
        for (int type = 0; type <= 4; ++type) {
            if (auto a = CreateLineAnalyser(type)) {
                TextBoxList lines;
                a->LocateLines(*img, lineProp, lineInfo, lines);
            }
            if (auto a = CreateCharAnalyser(type)) {
                TextBoxList chars;
                a->LocateChars(*img, charProp, chars);
            }
        }
        TextBoxList lines = {{0, 0, w, h}, {-5, h / 2, w / 2, h + 5}};
        RefineLineExtents(*img, lineProp, lines);

        TextBoxList boxes;
        if (LocateTextLines(*img, lineInfo, boxes)) CheckBoxes(boxes, *img);
        TextBoxList chars;
        LocateCharacters(*img, charInfo, chars);
        std::vector<TextLineResult> results;
        const int32_t code = LocateText(*img, lineInfo, charInfo, results);
        if (code != 0 && code != -10 && code != -11) std::abort();
        if ((code == 0) != !results.empty()) std::abort();
    }
    return 0;
}
