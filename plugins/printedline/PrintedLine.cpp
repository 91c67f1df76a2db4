// Printed-text line engine on Tesseract (LSTM, one text line per call).
//
// RecogStart(a, mode, b) starts Tesseract ("eng"); RecogOneRegionEx reads
// the region of the image as one line and calls the character call-back for
// every symbol, in reading order, then the end-of-line call-back.
// Candidates: Tesseract's alternatives for the symbol (its best first) with
// one-byte distances 255 x (1 - confidence); when Tesseract offers fewer
// than two, the nearest glyph prototypes of the symbol box fill the list
// and every candidate's score is its prototype distance instead, so scores
// of one symbol always share one scale.
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "GlyphClassifier.h"
#include "TessSupport.h"
#include "engines/EngineAbi.h"

using namespace morvane_plugins;

namespace {

// Bounds on the line image: wider or taller regions are refused rather than
// handed to the recogniser.
constexpr int kMaxLineWidth = 16384;
constexpr int kMaxLineHeight = 1024;

struct LineEngine {
    std::unique_ptr<tesseract::TessBaseAPI> tess;
    CGlyphClassifier glyphs;
    int starts = 0;
};

// Created by the first RecogStart and deleted by the last RecogEnd, not by a
// static destructor: a host may stop its engines from its own exit-time
// clean-up, after this library's static objects are gone.
LineEngine*& EngineSlot() {
    static LineEngine* engine = nullptr;
    return engine;
}

LineEngine& Engine() {
    LineEngine*& slot = EngineSlot();
    if (!slot) slot = new LineEngine;
    return *slot;
}

uint8_t ByteDistance(uint32_t distance) {
    // Prototype distances of clean glyphs are a few hundred, of unrelated
    // shapes several thousand.
    return static_cast<uint8_t>(std::min<uint32_t>(255, distance / 64));
}

void FillFromGlyphs(LineEngine& e, const std::vector<uint8_t>& pixels, int w, const int box[4],
                    PrtCharInfo& info) {
    const int bw = box[2] - box[0], bh = box[3] - box[1];
    if (bw <= 0 || bh <= 0 || e.glyphs.Empty()) return;
    GlyphFeatures f;
    if (!ExtractFeatures(pixels.data() + static_cast<size_t>(box[1]) * static_cast<size_t>(w) + box[0], bw,
                         bh, w, f))
        return;
    std::vector<ScoredClass> ranked = e.glyphs.Classify(f, {});
    if (ranked.empty()) return;
    // Tesseract's reading stays first, with its own prototype distance.
    auto own =
        std::find_if(ranked.begin(), ranked.end(), [&](const ScoredClass& c) { return c.code == info.code; });
    std::vector<ScoredClass> ordered;
    if (own != ranked.end())
        ordered.push_back(*own);
    else
        ordered.push_back({info.code, ranked.back().distance});
    for (const ScoredClass& c : ranked)
        if (c.code != info.code && ordered.size() < 5) ordered.push_back(c);
    std::memset(info.candidates, 0, sizeof info.candidates);
    std::memset(info.scores, 0, sizeof info.scores);
    for (size_t i = 0; i < ordered.size(); ++i) {
        info.candidates[i] = ordered[i].code;
        info.scores[i] = ByteDistance(ordered[i].distance);
    }
}

int RecognizeRegion(PrtLineRegion* region) {
    if (!EngineSlot()) return 1;
    LineEngine& e = Engine();
    if (!e.tess || !region || !region->rows) return 1;
    if (region->width <= 0 || region->height <= 0) return 2;
    const int l = std::max(region->left, 0), t = std::max(region->top, 0);
    const int r = std::min(region->right, region->width), b = std::min(region->bottom, region->height);
    if (l >= r || t >= b) return 2;
    const int w = r - l, h = b - t;
    if (w > kMaxLineWidth || h > kMaxLineHeight) return 4;
    if (region->onStart) region->onStart();
    // A white margin around the line gives the recogniser the background it
    // expects at the edges.
    const int margin = std::max(4, h / 4);
    const int pw = w + 2 * margin, ph = h + 2 * margin;
    std::vector<uint8_t> pixels(static_cast<size_t>(pw) * static_cast<size_t>(ph), 255);
    for (int y = 0; y < h; ++y)
        std::memcpy(&pixels[static_cast<size_t>(y + margin) * static_cast<size_t>(pw) + margin],
                    region->rows[t + y] + l, static_cast<size_t>(w));
    e.tess->SetImage(pixels.data(), pw, ph, 1, pw);
    e.tess->SetSourceResolution(300);
    if (e.tess->Recognize(nullptr) != 0) return 3;
    std::unique_ptr<tesseract::ResultIterator> it(e.tess->GetIterator());
    if (it && !it->Empty(tesseract::RIL_SYMBOL)) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_SYMBOL));
            PrtCharInfo info{};
            info.code = FirstUtf16(text.get());
            if (info.code == 0) continue;
            int box[4] = {0, 0, 0, 0};
            it->BoundingBox(tesseract::RIL_SYMBOL, &box[0], &box[1], &box[2], &box[3]);
            box[0] = std::clamp(box[0], 0, pw);
            box[2] = std::clamp(box[2], box[0], pw);
            box[1] = std::clamp(box[1], 0, ph);
            box[3] = std::clamp(box[3], box[1], ph);
            info.left = box[0] - margin + l;
            info.top = box[1] - margin + t;
            info.right = box[2] - margin + l;
            info.bottom = box[3] - margin + t;
            int n = 0;
            tesseract::ChoiceIterator choice(*it);
            do {
                const char* c = choice.GetUTF8Text();
                const uint16_t code = FirstUtf16(c);
                if (!code) continue;
                bool seen = false;
                for (int k = 0; k < n; ++k) seen = seen || info.candidates[k] == code;
                if (seen) continue;
                const float conf = std::clamp(choice.Confidence(), 0.0f, 100.0f);
                info.candidates[n] = code;
                info.scores[n] = static_cast<uint8_t>((100.0f - conf) * 2.55f + 0.5f);
                ++n;
            } while (n < 5 && choice.Next());
            if (n == 0 || info.candidates[0] != info.code) {
                std::memset(info.candidates, 0, sizeof info.candidates);
                info.candidates[0] = info.code;
                n = 1;
            }
            if (n < 2) FillFromGlyphs(e, pixels, pw, box, info);
            if (region->onChar) region->onChar(&info);
            if (it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_SYMBOL) && region->onLineEnd)
                region->onLineEnd();
        } while (it->Next(tesseract::RIL_SYMBOL));
    } else if (region->onLineEnd) {
        region->onLineEnd();
    }
    if (region->onFinish) region->onFinish();
    return 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int RecogStart(int32_t, int32_t mode, int32_t) {
    if (mode != 0 && mode != 1) return 2;
    LineEngine*& slot = EngineSlot();
    try {
        LineEngine& e = Engine();
        if (!e.tess) {
            const std::string tessdata = FindTessdata("eng", std::string());
            if (!tessdata.empty())
                e.tess = StartTesseract(tessdata, "eng", 7, std::string());  // one text line
            if (e.tess) {
                const std::string glyphs = FindBesidePlugin("grayocr_glyphs.dat");
                if (!glyphs.empty()) e.glyphs.Load(glyphs, "dejavu ocrbfull");
            }
        }
        if (e.tess) {
            ++e.starts;
            return 0;
        }
    } catch (...) {
    }
    // Nothing is kept from a failed first start.
    if (slot && slot->starts == 0) {
        delete slot;
        slot = nullptr;
    }
    return 1;
}

__attribute__((visibility("default"))) int RecogEnd(void) {
    LineEngine*& slot = EngineSlot();
    if (!slot || slot->starts <= 0) return 1;
    if (--slot->starts == 0) {
        delete slot;
        slot = nullptr;
    }
    return 0;
}

__attribute__((visibility("default"))) int RecogOneRegion(PrtLineRegion* region, int32_t, int32_t) {
    try {
        return RecognizeRegion(region);
    } catch (...) {
        return 5;
    }
}

__attribute__((visibility("default"))) int RecogOneRegionEx(PrtLineRegion* region, int32_t, int32_t) {
    try {
        return RecognizeRegion(region);
    } catch (...) {
        return 5;
    }
}

}  // extern "C"
