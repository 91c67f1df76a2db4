// Gray-character engine: one character image (at most 255 x 255 gray bytes)
// -> up to ten candidates with distance scores.
//
// Each data file (see the *.lib files beside this source) is a small text
// file of "key value" lines ('#' starts a comment):
//   language  Tesseract language of the fallback recogniser ("eng"); it must
//             be installed, else the engine does not start
//   charset   the characters the file may answer
//   glyphs    the glyph prototype file (looked for beside this library)
//   fonts     prototype font tags used ("all" for every one)
//   pagemode  Tesseract page segmentation mode of the fallback (10: one
//             character)
//   fallback  distance above which Tesseract is asked as well (0: never)
//   aspect    weight of the glyph's width-to-height ratio in the distance
//             (optional; the classifier's default otherwise)
//   corners   weight of the ink in the corners of the glyph's box (optional;
//             0, not weighed, otherwise)
//
// Recognition: a nearest-neighbour match of the glyph against the
// prototypes gives a distance for every allowed class; the ten nearest are
// the candidates, their distances the scores. When even the nearest is
// farther than the fallback distance, Tesseract reads the character and its
// answer, if it is an allowed class, moves to the front (keeping its own
// distance, so an uncertain answer stays visibly uncertain).
//
// Range bits (GrayOcr_SetRange) select classes of the charset: 1 digits,
// 2 upper-case letters, 4 lower-case letters, 8 every other character;
// bits above these are ignored, so 255 and 0xFFFF select the whole charset.
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "GlyphClassifier.h"
#include "TessSupport.h"
#include "engines/EngineAbi.h"

using namespace morvane_plugins;

namespace {

constexpr uint32_t kMagic = 0x4F59A7E1u;

struct Engine {
    std::string language = "eng";
    std::string tessdataDir;
    std::string tessdataConfigured;
    std::vector<uint16_t> charset;
    std::vector<uint16_t> allowed;  // charset filtered by the range
    int pageMode = 10;
    uint32_t fallback = 0;
    CGlyphClassifier glyphs;
    std::unique_ptr<tesseract::TessBaseAPI> tess;
    bool tessTried = false;
    std::string whitelist;
};

struct WorkHeader {
    uint32_t magic;
    Engine* engine;
};

Engine* FromWork(void* work) {
    if (!work) return nullptr;
    WorkHeader h;
    std::memcpy(&h, work, sizeof h);
    return h.magic == kMagic ? h.engine : nullptr;
}

std::vector<uint16_t> Utf8ToCodes(const std::string& s) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        uint16_t code = FirstUtf16(s.substr(i, len).c_str());
        if (code && std::find(out.begin(), out.end(), code) == out.end()) out.push_back(code);
        i += len;
    }
    return out;
}

unsigned RangeClass(uint16_t c) {
    if (c >= '0' && c <= '9') return GRAYOCR_RANGE_DIGITS;
    if (c >= 'A' && c <= 'Z') return GRAYOCR_RANGE_UPPER;
    if (c >= 'a' && c <= 'z') return GRAYOCR_RANGE_LOWER;
    return GRAYOCR_RANGE_OTHER;
}

std::string CodesToUtf8(const std::vector<uint16_t>& codes) {
    std::string s;
    for (uint16_t c : codes) {
        if (c < 0x80)
            s.push_back(static_cast<char>(c));
        else if (c < 0x800) {
            s.push_back(static_cast<char>(0xC0 | (c >> 6)));
            s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            s.push_back(static_cast<char>(0xE0 | (c >> 12)));
            s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return s;
}

bool ParseConfig(const char* text, Engine& e) {
    std::istringstream in(text);
    std::string line, glyphFile, fonts = "all";
    float aspect = kAspectWeight, corners = kCornerWeight;
    bool haveCharset = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t sep = line.find_first_of(" \t", start);
        std::string key = line.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        std::string value;
        if (sep != std::string::npos) {
            size_t v = line.find_first_not_of(" \t", sep);
            if (v != std::string::npos) value = line.substr(v);
        }
        if (key == "language")
            e.language = value;
        else if (key == "charset") {
            e.charset = Utf8ToCodes(value);
            haveCharset = true;
        } else if (key == "glyphs")
            glyphFile = value;
        else if (key == "fonts")
            fonts = value;
        else if (key == "pagemode")
            e.pageMode = std::atoi(value.c_str());
        else if (key == "fallback")
            e.fallback = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "tessdata")
            e.tessdataConfigured = value;
        else if (key == "aspect") {
            char* end = nullptr;
            const float w = std::strtof(value.c_str(), &end);
            if (end == value.c_str() || !(w >= 0.0f && w <= 1000.0f)) return false;
            aspect = w;
        } else if (key == "corners") {
            char* end = nullptr;
            const float w = std::strtof(value.c_str(), &end);
            if (end == value.c_str() || !(w >= 0.0f && w <= 1000.0f)) return false;
            corners = w;
        } else
            return false;  // unknown keys mean a file of another format
    }
    if (!haveCharset || e.charset.empty() || glyphFile.empty()) return false;
    if (e.pageMode < 0 || e.pageMode > 13) return false;
    const std::string glyphPath = FindBesidePlugin(glyphFile);
    if (glyphPath.empty() || !e.glyphs.Load(glyphPath, fonts)) return false;
    e.glyphs.SetAspectWeight(aspect);
    e.glyphs.SetCornerWeight(corners);
    // Only classes the prototypes know can be answered.
    std::vector<uint16_t> known = e.glyphs.Classes();
    std::vector<uint16_t> kept;
    for (uint16_t c : e.charset)
        if (std::find(known.begin(), known.end(), c) != known.end()) kept.push_back(c);
    e.charset = kept;
    return !e.charset.empty();
}

bool SetRange(Engine& e, unsigned range) {
    std::vector<uint16_t> allowed;
    for (uint16_t c : e.charset)
        if (RangeClass(c) & range) allowed.push_back(c);
    if (allowed.empty()) return false;
    if (allowed != e.allowed) {
        e.allowed = std::move(allowed);
        e.whitelist = CodesToUtf8(e.allowed);
        if (e.tess) e.tess->SetVariable("tessedit_char_whitelist", e.whitelist.c_str());
    }
    return true;
}

// Tesseract's reading of the character, 0 when it has none.
uint16_t TesseractReading(Engine& e, const uint8_t* image, int height, int width) {
    if (!e.tessTried) {
        e.tessTried = true;
        e.tess = StartTesseract(e.tessdataDir, e.language, e.pageMode, e.whitelist);
    }
    if (!e.tess) return 0;
    // A white margin gives the recogniser the background it expects.
    const int margin = 8;
    const int w = width + 2 * margin, h = height + 2 * margin;
    std::vector<uint8_t> padded(static_cast<size_t>(w) * static_cast<size_t>(h), 255);
    for (int y = 0; y < height; ++y)
        std::memcpy(&padded[static_cast<size_t>(y + margin) * static_cast<size_t>(w) + margin],
                    image + static_cast<size_t>(y) * static_cast<size_t>(width), static_cast<size_t>(width));
    e.tess->SetImage(padded.data(), w, h, 1, w);
    e.tess->SetSourceResolution(300);
    if (e.tess->Recognize(nullptr) != 0) return 0;
    std::unique_ptr<tesseract::ResultIterator> it(e.tess->GetIterator());
    if (!it) return 0;
    std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_SYMBOL));
    if (!text || it->Confidence(tesseract::RIL_SYMBOL) < 50.0f) return 0;
    return FirstUtf16(text.get());
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int GrayOcr_KernelInit(void* work, int workSize, const void* data) {
    try {
        if (!work || !data || workSize < static_cast<int>(sizeof(WorkHeader))) return 1;
        if (FromWork(work)) return 2;  // already started in this work area
        auto engine = std::make_unique<Engine>();
        if (!ParseConfig(static_cast<const char*>(data), *engine)) return 3;
        engine->tessdataDir = FindTessdata(engine->language, engine->tessdataConfigured);
        if (engine->tessdataDir.empty()) return 4;  // language not installed
        if (!SetRange(*engine, 0xFFFFu)) return 3;
        WorkHeader h{kMagic, engine.release()};
        std::memcpy(work, &h, sizeof h);
        return 0;
    } catch (...) {
        return 5;
    }
}

__attribute__((visibility("default"))) int GrayOcr_KernelEnd(void* work) {
    Engine* e = FromWork(work);
    if (!e) return 1;
    delete e;
    std::memset(work, 0, sizeof(WorkHeader));
    return 0;
}

__attribute__((visibility("default"))) int GrayOcr_SetRange(int range, void* work) {
    Engine* e = FromWork(work);
    if (!e || range <= 0) return 1;
    try {
        return SetRange(*e, static_cast<unsigned>(range)) ? 0 : 1;
    } catch (...) {
        return 5;
    }
}

__attribute__((visibility("default"))) int GrayOcr_Recognize(const uint8_t* image, int height, int width,
                                                             uint16_t* candidates, uint16_t* scores,
                                                             void* work) {
    Engine* e = FromWork(work);
    if (!e || !image || !candidates || !scores) return 1;
    if (width <= 0 || height <= 0 || width > GRAYOCR_MAX_SIDE || height > GRAYOCR_MAX_SIDE) return 1;
    try {
        std::memset(candidates, 0, 10 * sizeof(uint16_t));
        std::memset(scores, 0, 10 * sizeof(uint16_t));
        GlyphFeatures f;
        if (!ExtractFeatures(image, width, height, width, f)) return 2;  // no ink
        std::vector<ScoredClass> ranked = e->glyphs.Classify(f, e->allowed);
        if (ranked.empty()) return 3;
        if (e->fallback > 0 && ranked[0].distance > e->fallback && width >= 4 && height >= 4) {
            const uint16_t reading = TesseractReading(*e, image, height, width);
            auto it = std::find_if(ranked.begin(), ranked.end(),
                                   [&](const ScoredClass& c) { return c.code == reading; });
            if (reading && it != ranked.end()) std::rotate(ranked.begin(), it, it + 1);
        }
        const size_t n = std::min<size_t>(10, ranked.size());
        for (size_t i = 0; i < n; ++i) {
            candidates[i] = ranked[i].code;
            scores[i] = static_cast<uint16_t>(std::min<uint32_t>(ranked[i].distance, 0xFFFE));
        }
        return 0;
    } catch (...) {
        return 5;
    }
}

}  // extern "C"
