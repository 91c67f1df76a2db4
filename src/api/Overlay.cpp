#include "api/Overlay.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "api/MainTemplateEntry.h"
#include "api/OverlayFont.h"
#include "core/TextConv.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FrameLineRecords.h"
#include "image/PixelGray.h"
#include "preprocess/ImageProcessing.h"
#include "templates/FilterInfoBase.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"
#include "templates/SubTemplateList.h"

namespace libMorvaneClassifier {
namespace {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kBlue{30, 90, 220};
constexpr Rgb kRed{220, 30, 30};
constexpr Rgb kGreen{20, 160, 40};
constexpr Rgb kOrange{240, 140, 0};
constexpr Rgb kMagenta{200, 0, 200};
constexpr Rgb kTeal{0, 140, 150};
constexpr Rgb kInk{20, 20, 20};
constexpr Rgb kPaper{255, 255, 255};
constexpr Rgb kGridLine{120, 120, 120};

// Frame lines are the same line when their positions across differ by at
// most this and both ends along by at most kAlong (ten-thousandths).
constexpr int32_t kAcross = 150;
constexpr int32_t kAlong = 400;
constexpr int kLineHeight = kOverlayGlyphHeight + 2;

class Canvas {
public:
    bool Create(int w, int h) {
        if (img.Create(w, h, 24, 0) == 0) return false;
        Fill(0, 0, w, h, kPaper);
        return true;
    }
    void Put(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
        uint8_t* p = img.Row(y) + static_cast<size_t>(x) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
    // alpha out of 256
    void Blend(int x, int y, Rgb c, int alpha) {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
        uint8_t* p = img.Row(y) + static_cast<size_t>(x) * 3;
        p[0] = static_cast<uint8_t>((p[0] * (256 - alpha) + c.b * alpha) >> 8);
        p[1] = static_cast<uint8_t>((p[1] * (256 - alpha) + c.g * alpha) >> 8);
        p[2] = static_cast<uint8_t>((p[2] * (256 - alpha) + c.r * alpha) >> 8);
    }
    void Fill(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = std::max(0, y0); y < std::min(y1, img.height); ++y)
            for (int x = std::max(0, x0); x < std::min(x1, img.width); ++x) Put(x, y, c);
    }
    void Shade(int x0, int y0, int x1, int y1, Rgb c, int alpha) {
        for (int y = std::max(0, y0); y < std::min(y1, img.height); ++y)
            for (int x = std::max(0, x0); x < std::min(x1, img.width); ++x) Blend(x, y, c, alpha);
    }
    void Line(int x0, int y0, int x1, int y1, Rgb c, int thick) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (int guard = 0; guard < 100000; ++guard) {
            for (int t = 0; t < thick; ++t) {
                if (dx >= -dy)
                    Put(x0, y0 + t - thick / 2, c);
                else
                    Put(x0 + t - thick / 2, y0, c);
            }
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    void Box(int x0, int y0, int x1, int y1, Rgb c, int thick) {
        Line(x0, y0, x1, y0, c, thick);
        Line(x0, y1, x1, y1, c, thick);
        Line(x0, y0, x0, y1, c, thick);
        Line(x1, y0, x1, y1, c, thick);
    }
    // Text in the built-in font; characters outside printable ASCII as '?'.
    // With a backdrop, on a white box so that it reads over the page.
    void Text(int x, int y, const std::string& s, Rgb c, bool backdrop = false) {
        if (backdrop)
            Shade(x - 1, y - 1, x + static_cast<int>(s.size()) * kOverlayGlyphWidth + 1,
                  y + kOverlayGlyphHeight + 1, kPaper, 200);
        for (size_t i = 0; i < s.size(); ++i) {
            unsigned char ch = static_cast<unsigned char>(s[i]);
            if (ch < 32 || ch > 126) ch = '?';
            const uint8_t* glyph = kOverlayGlyphs[ch - 32];
            for (int row = 0; row < kOverlayGlyphHeight; ++row)
                for (int col = 0; col < kOverlayGlyphWidth; ++col)
                    if (glyph[row] & (1 << (kOverlayGlyphWidth - 1 - col)))
                        Put(x + static_cast<int>(i) * kOverlayGlyphWidth + col, y + row, c);
        }
    }
    CRawImage img;
};

std::string Ascii(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
    return out;
}

const char* KindName(int32_t type) {
    switch (type) {
        case kFilterTypeSize:
            return "size";
        case kFilterTypeGrid:
            return "grid";
        case kFilterTypeFrameLine:
            return "frame lines";
        case kFilterTypeText:
            return "text";
        default:
            return "?";
    }
}

// The child whose reference is drawn: the chosen one when a filter compared
// it, else the best-scored compared child.
const TraceChild* ReferenceChild(const TraceLevel& level) {
    if (level.chosen >= 0 && static_cast<size_t>(level.chosen) < level.children.size()) {
        const TraceChild& c = level.children[static_cast<size_t>(level.chosen)];
        for (const TraceCell& cell : c.cells)
            if (cell.compared) return &c;
    }
    const TraceChild* best = nullptr;
    for (const TraceChild& c : level.children) {
        bool compared = false;
        for (const TraceCell& cell : c.cells) compared = compared || cell.compared;
        if (compared && (!best || c.total > best->total)) best = &c;
    }
    return best;
}

CSubTemplate* SubTemplateById(const CMainTemplateEntry& entry, const std::u16string& id) {
    if (!entry.subTemplates) return nullptr;
    for (const auto& sub : entry.subTemplates->items)
        if (sub && sub->id == id) return sub.get();
    return nullptr;
}

struct Frame {
    int w, h;        // the page area of the canvas
    int32_t pw, ph;  // the preprocessed page
    int32_t gw, gh;  // the page as handed in
    int X(int32_t tenThousandths) const { return static_cast<int>(int64_t{tenThousandths} * w / 10000); }
    int Y(int32_t tenThousandths) const { return static_cast<int>(int64_t{tenThousandths} * h / 10000); }
};

void DrawSize(Canvas& c, const Frame& f, const CFilterSizeInfo* got, const CFilterSizeInfo* ref,
              std::string& note) {
    c.Box(1, 1, f.w - 2, f.h - 2, kBlue, 3);
    char buf[128];
    if (got)
        std::snprintf(buf, sizeof buf, "%d.%d x %d.%d mm", got->physicalWidth * 254 / 10000,
                      got->physicalWidth * 254 / 1000 % 10, got->physicalHeight * 254 / 10000,
                      got->physicalHeight * 254 / 1000 % 10);
    else
        std::snprintf(buf, sizeof buf, "not measured");
    note = std::string("size ") + buf;
    if (ref) {
        std::snprintf(buf, sizeof buf, ", expected %d.%d x %d.%d mm", ref->physicalWidth * 254 / 10000,
                      ref->physicalWidth * 254 / 1000 % 10, ref->physicalHeight * 254 / 10000,
                      ref->physicalHeight * 254 / 1000 % 10);
        note += buf;
    }
}

void DrawGrid(Canvas& c, const Frame& f, const CFilterGridInfo* got, const CFilterGridInfo* ref) {
    if (!got || got->rows <= 0 || got->cols <= 0) return;
    const int rows = got->rows, cols = got->cols;
    if (got->densities.size() < static_cast<size_t>(rows) * static_cast<size_t>(cols)) return;
    const bool haveRef = ref && ref->rows == rows && ref->cols == cols &&
                         ref->densities.size() >= static_cast<size_t>(rows) * static_cast<size_t>(cols);
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < cols; ++k) {
            const int x0 = k * f.w / cols, x1 = (k + 1) * f.w / cols;
            const int y0 = r * f.h / rows, y1 = (r + 1) * f.h / rows;
            const int32_t m = got->densities[static_cast<size_t>(r * cols + k)];
            if (haveRef) {
                const int32_t e = ref->densities[static_cast<size_t>(r * cols + k)];
                const int64_t top = std::max<int64_t>({m, e, 1});
                const int alpha = static_cast<int>(std::abs(int64_t{m} - e) * 140 / top);
                c.Shade(x0, y0, x1, y1, m > e ? kRed : kBlue, alpha);
            }
            c.Box(x0, y0, x1, y1, kGridLine, 1);
            const std::string label =
                haveRef ? std::to_string(m) + "/" +
                              std::to_string(ref->densities[static_cast<size_t>(r * cols + k)])
                        : std::to_string(m);
            if (static_cast<int>(label.size()) * kOverlayGlyphWidth + 6 < x1 - x0)
                c.Text(x0 + 3, y0 + 3, label, kInk, true);
        }
}

bool SameLine(const CFrameLineInfo& a, const CFrameLineInfo& b) {
    if (!a.line || !b.line || a.angle != b.angle) return false;
    const CLine& p = *a.line;
    const CLine& q = *b.line;
    if (a.angle == 0)
        return std::abs((p.startPtY + p.endPtY) / 2 - (q.startPtY + q.endPtY) / 2) <= kAcross &&
               std::abs(p.startPtX - q.startPtX) <= kAlong && std::abs(p.endPtX - q.endPtX) <= kAlong;
    return std::abs((p.startPtX + p.endPtX) / 2 - (q.startPtX + q.endPtX) / 2) <= kAcross &&
           std::abs(p.startPtY - q.startPtY) <= kAlong && std::abs(p.endPtY - q.endPtY) <= kAlong;
}

void DrawFrameLines(Canvas& c, const Frame& f, const CFilterFrameLineInfo* got,
                    const CFilterFrameLineInfo* ref, std::string& note) {
    const int32_t nGot = got && got->frameLines ? got->frameLines->count : 0;
    const int32_t nRef = ref && ref->frameLines ? ref->frameLines->count : 0;
    std::vector<char> used(static_cast<size_t>(std::max(nGot, 0)), 0);
    int matched = 0, missed = 0, extra = 0;
    auto draw = [&](const CFrameLineInfo& l, Rgb colour) {
        if (!l.line) return;
        c.Line(f.X(l.line->startPtX), f.Y(l.line->startPtY), f.X(l.line->endPtX), f.Y(l.line->endPtY), colour,
               3);
    };
    for (int32_t i = 0; i < nRef; ++i) {
        const CFrameLineInfo* r = ref->frameLines->Get(i);
        if (!r) continue;
        int32_t hit = -1;
        for (int32_t j = 0; j < nGot && hit < 0; ++j)
            if (!used[static_cast<size_t>(j)] && got->frameLines->Get(j) &&
                SameLine(*r, *got->frameLines->Get(j)))
                hit = j;
        if (hit >= 0) {
            used[static_cast<size_t>(hit)] = 1;
            draw(*got->frameLines->Get(hit), kGreen);
            ++matched;
        } else {
            draw(*r, kRed);
            ++missed;
        }
    }
    for (int32_t j = 0; j < nGot; ++j)
        if (!used[static_cast<size_t>(j)] && got->frameLines->Get(j)) {
            draw(*got->frameLines->Get(j), kOrange);
            ++extra;
        }
    note = "frame lines: " + std::to_string(matched) + " matched, " + std::to_string(missed) + " missed, " +
           std::to_string(extra) + " found beyond the reference";
}

void DrawText(Canvas& c, const Frame& f, const std::vector<RecognisedLine>& lines, size_t level,
              int32_t filter, std::vector<std::string>& read) {
    auto X = [&](int64_t x) { return static_cast<int>(x * f.w / f.gw); };
    auto Y = [&](int64_t y) { return static_cast<int>(y * f.h / f.gh); };
    for (const RecognisedLine& l : lines) {
        if (static_cast<size_t>(l.level) != level || l.filter != filter || f.gw <= 0 || f.gh <= 0) continue;
        const int x0 = X(l.x), y0 = Y(l.y), x1 = X(int64_t{l.x} + l.w), y1 = Y(int64_t{l.y} + l.h);
        c.Box(x0, y0, x1, y1, kMagenta, 2);
        // Each character's box, and the character read under it where the
        // box is wide enough to hold the glyph.
        for (size_t i = 0; i < l.charBoxes.size(); ++i) {
            const RecognisedLine::CharBox& b = l.charBoxes[i];
            const int bx0 = X(b.x), by0 = Y(b.y), bx1 = X(int64_t{b.x} + b.w), by1 = Y(int64_t{b.y} + b.h);
            c.Box(bx0, by0, bx1, by1, kTeal, 1);
            if (i < l.text.size() && bx1 - bx0 + 2 >= kOverlayGlyphWidth)
                c.Text(bx0, by1 + 2, Ascii(l.text.substr(i, 1)), kTeal, true);
        }
        c.Text(x0, std::max(0, y0 - kOverlayGlyphHeight - 2), Ascii(l.text), kMagenta, true);
        read.push_back("\"" + Ascii(l.text) + "\" (" + std::to_string(l.charBoxes.size()) +
                       " character boxes)");
    }
}

}  // namespace

bool RenderOverlay(const CRawImage& page, CMainTemplateEntry& entry, const DecisionTrace& trace,
                   const std::vector<RecognisedLine>& lines, CRawImage& out) {
    try {
        if (!page.HasPixels() || !entry.mainTemplate) return false;
        // The page as the walk saw it: turned, then preprocessed.
        CRawImage work;
        if (trace.turn != 0) {
            CRawImage source(page);
            if (source.Rotate(&work, trace.turn / 90, 0.0, 0, 0, 1) == 0) return false;
        } else {
            work = CRawImage(page);
        }
        const int32_t gw = work.width, gh = work.height;
        ApplyImageProcessingList(work, entry.mainTemplate->steps.get());
        if (!work.HasPixels()) return false;
        const int scale =
            std::max(1, (std::max(work.width, work.height) + kOverlayMaxSide - 1) / kOverlayMaxSide);
        Frame f{std::max(1, work.width / scale),
                std::max(1, work.height / scale),
                work.width,
                work.height,
                gw,
                gh};

        // The panel: the result, then a line per level and per filter.
        std::vector<std::pair<std::string, Rgb>> panel;
        panel.push_back({trace.hasResult
                             ? "result: " + Ascii(trace.resultId) + " \"" + Ascii(trace.resultName) + "\""
                             : std::string("result: none"),
                         kInk});
        // The page is drawn first; the panel is laid out below it at the end.
        Canvas c;
        if (!c.Create(f.w, f.h)) return false;
        // The page, lightened so that the drawings stand out.
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) {
                const uint8_t v = GrayAt(work, x * scale, y * scale);
                const uint8_t l = static_cast<uint8_t>(110 + v * 145 / 255);
                c.Put(x, y, Rgb{l, l, l});
            }

        for (size_t li = 0; li < trace.levels.size(); ++li) {
            const TraceLevel& level = trace.levels[li];
            std::string head = "[" + std::to_string(level.groupIndex) + "] " + Ascii(level.name) + ": ";
            const TraceChild* chosen =
                level.chosen >= 0 && static_cast<size_t>(level.chosen) < level.children.size()
                    ? &level.children[static_cast<size_t>(level.chosen)]
                    : nullptr;
            switch (level.by) {
                case ChoiceBy::kFinal:
                    head += "final";
                    break;
                case ChoiceBy::kScore:
                    head += "chose \"" + Ascii(chosen ? chosen->name : u"") + "\" by score";
                    break;
                case ChoiceBy::kDefault:
                    head += "nothing passed, default \"" + Ascii(chosen ? chosen->name : u"") + "\"";
                    break;
                case ChoiceBy::kNone:
                    head += "nothing passed, no default";
                    break;
                case ChoiceBy::kNoFilters:
                    head += "no filter";
                    break;
            }
            panel.push_back({std::string(li * 2, ' ') + head, kInk});
            const TraceChild* refChild = ReferenceChild(level);
            CSubTemplate* refSub = refChild ? SubTemplateById(entry, refChild->templateId) : nullptr;
            for (size_t k = 0; k < level.filters.size(); ++k) {
                const TraceFilter& tf = level.filters[k];
                std::string line = std::string(li * 2 + 2, ' ') + "filter " + std::to_string(tf.refFilter) +
                                   " \"" + Ascii(tf.name) + "\" (" + KindName(tf.type) + ")";
                std::string rivals;
                for (const TraceChild& ch : level.children) {
                    if (k >= ch.cells.size() || !ch.cells[k].compared) continue;
                    rivals += (rivals.empty() ? ": " : ", ") + Ascii(ch.name) + " " +
                              std::to_string(ch.cells[k].raw) + (ch.cells[k].passed ? "" : " failed");
                }
                panel.push_back({line + rivals, kInk});
                CFilterBase* filter = entry.filters ? entry.filters->Find(tf.refFilter) : nullptr;
                CFilterInfoBase* ref = refSub ? refSub->FindFilterInfo(tf.refFilter) : nullptr;
                if (ref) ref->SetImageSize(work.width, work.height);
                std::string note;
                if (filter && tf.type != kFilterTypeText) {
                    std::unique_ptr<CFilterInfoBase> got = filter->CreateFeature(&work, 1);
                    if (got) got->SetImageSize(work.width, work.height);
                    if (tf.type == kFilterTypeSize)
                        DrawSize(c, f, dynamic_cast<CFilterSizeInfo*>(got.get()),
                                 dynamic_cast<CFilterSizeInfo*>(ref), note);
                    else if (tf.type == kFilterTypeGrid)
                        DrawGrid(c, f, dynamic_cast<CFilterGridInfo*>(got.get()),
                                 dynamic_cast<CFilterGridInfo*>(ref));
                    else if (tf.type == kFilterTypeFrameLine)
                        DrawFrameLines(c, f, dynamic_cast<CFilterFrameLineInfo*>(got.get()),
                                       dynamic_cast<CFilterFrameLineInfo*>(ref), note);
                } else if (tf.type == kFilterTypeText) {
                    std::vector<std::string> read;
                    DrawText(c, f, lines, li, tf.refFilter, read);
                    note = std::to_string(read.size()) + " line(s) read";
                    for (const std::string& r : read) note += "; " + r;
                }
                const std::string against = refChild ? " against \"" + Ascii(refChild->name) + "\"" : "";
                panel.push_back({std::string(li * 2 + 4, ' ') + (note.empty() ? "measured" : note) + against,
                                 tf.type == kFilterTypeFrameLine ? kGreen : kBlue});
            }
        }
        // The panel's rows, wrapped at the picture's width (at least 640).
        const int canvasW = std::max(f.w, 640);
        const size_t perRow = static_cast<size_t>((canvasW - 8) / kOverlayGlyphWidth);
        std::vector<std::pair<std::string, Rgb>> rows;
        for (const auto& row : panel) {
            const size_t indent = std::min(row.first.find_first_not_of(' '), perRow / 2) + 4;
            std::string rest = row.first;
            bool first = true;
            while (!rest.empty()) {
                const std::string lead = first ? std::string() : std::string(indent, ' ');
                const size_t room = perRow - lead.size();
                rows.push_back({lead + rest.substr(0, room), row.second});
                rest = rest.size() > room ? rest.substr(room) : std::string();
                first = false;
            }
        }
        Canvas all;
        if (!all.Create(canvasW, f.h + static_cast<int>(rows.size()) * kLineHeight + 10)) return false;
        for (int y = 0; y < f.h; ++y)
            std::copy(c.img.Row(y), c.img.Row(y) + static_cast<size_t>(f.w) * 3, all.img.Row(y));
        int y = f.h + 6;
        for (const auto& row : rows) {
            all.Text(4, y, row.first, row.second);
            y += kLineHeight;
        }
        out = std::move(all.img);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace libMorvaneClassifier
