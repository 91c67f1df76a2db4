#include "imagefile/PdfCodec.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {

PdfSettings& CurrentPdfSettings() {
    static PdfSettings settings;
    return settings;
}

bool IsPdf(const uint8_t* d, size_t n) { return n >= 5 && std::memcmp(d, "%PDF-", 5) == 0; }

namespace {

// Content operators read before a page is taken for more than one image.
constexpr size_t kMaxContentObjects = 2000000;
// Nesting of saved graphics states followed; deeper saves are counted only.
constexpr size_t kMaxStateDepth = 256;

// A parsed file, quiet: qpdf's warnings are collected, never printed.
struct OpenPdf {
    QPDF pdf;
    std::string firstWarning;
};

std::string QpdfCause(const std::exception& e) {
    std::string text = e.what();
    // qpdf names the input first ("<memory>: ..."); the caller names the file.
    const std::string prefix = "PDF: ";
    const size_t at = text.find(prefix);
    if (at != std::string::npos && at < 40) text = text.substr(at + prefix.size());
    if (text.size() > 300) text = text.substr(0, 300) + "...";
    return text;
}

void KeepFirstWarning(OpenPdf& open) {
    if (!open.firstWarning.empty() || !open.pdf.anyWarnings()) return;
    const std::vector<QPDFExc> warnings = open.pdf.getWarnings();
    if (!warnings.empty()) open.firstWarning = QpdfCause(warnings.front());
}

// Opens the file and refuses what cannot be read page by page. Throws what
// qpdf throws.
bool Open(OpenPdf& open, const uint8_t* data, size_t size) {
    auto logger = QPDFLogger::create();
    auto discard = std::make_shared<Pl_Discard>();
    logger->setInfo(discard);
    logger->setWarn(discard);
    logger->setError(discard);
    open.pdf.setLogger(logger);
    open.pdf.setSuppressWarnings(true);
    open.pdf.processMemoryFile("PDF", reinterpret_cast<const char*>(data), size);
    KeepFirstWarning(open);
    if (open.pdf.isEncrypted()) return FailIfNoCause("encrypted PDF: encrypted files are not read");
    return true;
}

bool Page(OpenPdf& open, int page, QPDFObjectHandle& out, int& count) {
    const std::vector<QPDFObjectHandle>& pages = open.pdf.getAllPages();
    KeepFirstWarning(open);
    count = static_cast<int>(std::min<size_t>(pages.size(), kMaxFilePages));
    if (count == 0)
        return FailIfNoCause(open.firstWarning.empty() ? "damaged PDF: no page found"
                                                       : "damaged PDF: " + open.firstWarning);
    if (page < 0 || page >= count)
        return FailIfNoCause("page " + std::to_string(page + 1) + " asked of a PDF of " +
                             std::to_string(count) + " pages");
    out = pages[static_cast<size_t>(page)];
    return true;
}

struct Matrix {
    double a = 1, b = 0, c = 0, d = 0, e = 0, f = 0;
};
// m applied first, then n (PDF's "m x n").
Matrix Multiply(const Matrix& m, const Matrix& n) {
    return Matrix{m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
                  m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

// Walks a page's content and notes every image drawn and anything else that
// marks the page: paths painted, visible text, shadings, inline images and
// form XObjects. Invisible text (render mode 3, a scan's recognised-text
// layer) does not mark the page.
class ContentScan : public QPDFObjectHandle::ParserCallbacks {
public:
    explicit ContentScan(const std::map<std::string, QPDFObjectHandle>& images) : images_(images) {
        states_.push_back(State{});
        states_.back().ctm.d = 1;
    }

    void handleObject(QPDFObjectHandle obj) override {
        if (++objects_ > kMaxContentObjects) {
            otherMarks = true;
            terminateParsing();
            return;
        }
        if (obj.isInlineImage()) {
            otherMarks = true;
            return;
        }
        if (!obj.isOperator()) {
            if (operands_.size() < 16) operands_.push_back(obj);
            return;
        }
        Operator(obj.getOperatorValue());
        operands_.clear();
    }
    void handleEOF() override {}

    int imagesDrawn = 0;
    bool otherMarks = false;
    QPDFObjectHandle image;
    Matrix imageCtm;

private:
    struct State {
        Matrix ctm;
        int textMode = 0;
    };

    bool Numbers(size_t n, double* out) {
        if (operands_.size() != n) return false;
        for (size_t i = 0; i < n; ++i) {
            QPDFObjectHandle& v = operands_[i];
            if (!v.isNumber()) return false;
            out[i] = v.getNumericValue();
            if (!std::isfinite(out[i])) return false;
        }
        return true;
    }

    void Operator(const std::string& op) {
        State& s = states_.back();
        if (op == "q") {
            if (states_.size() < kMaxStateDepth)
                states_.push_back(s);
            else
                ++unsavedDepth_;
        } else if (op == "Q") {
            if (unsavedDepth_ > 0)
                --unsavedDepth_;
            else if (states_.size() > 1)
                states_.pop_back();
        } else if (op == "cm") {
            double v[6];
            if (Numbers(6, v)) s.ctm = Multiply(Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}, s.ctm);
        } else if (op == "Tr") {
            double v[1];
            if (Numbers(1, v)) s.textMode = static_cast<int>(v[0]);
        } else if (op == "Do") {
            const auto found = operands_.size() == 1 && operands_[0].isName()
                                   ? images_.find(operands_[0].getName())
                                   : images_.end();
            if (found == images_.end()) {
                otherMarks = true;  // a form XObject or an unknown name
            } else {
                if (++imagesDrawn == 1) {
                    image = found->second;
                    imageCtm = s.ctm;
                }
            }
        } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
            if (s.textMode != 3) otherMarks = true;
        } else if (op == "S" || op == "s" || op == "f" || op == "F" || op == "f*" || op == "B" ||
                   op == "B*" || op == "b" || op == "b*" || op == "sh" || op == "BI") {
            otherMarks = true;
        }
    }

    const std::map<std::string, QPDFObjectHandle>& images_;
    std::vector<State> states_;
    std::vector<QPDFObjectHandle> operands_;
    size_t unsavedDepth_ = 0;
    size_t objects_ = 0;
};

int64_t IntKey(QPDFObjectHandle dict, const char* key, int64_t fallback) {
    QPDFObjectHandle v = dict.getKey(key);
    if (v.isInteger()) return v.getIntValue();
    if (v.isReal()) {
        const double x = v.getNumericValue();
        if (std::isfinite(x) && std::fabs(x) < 1e9) return static_cast<int64_t>(x);
    }
    return fallback;
}

bool BoolKey(QPDFObjectHandle dict, const char* key, bool fallback) {
    QPDFObjectHandle v = dict.getKey(key);
    return v.isBool() ? v.getBoolValue() : fallback;
}

// The image's filters, last one applied to the raw data last named last.
std::vector<std::string> Filters(QPDFObjectHandle dict) {
    std::vector<std::string> names;
    QPDFObjectHandle f = dict.getKey("/Filter");
    if (f.isName())
        names.push_back(f.getName());
    else if (f.isArray())
        for (int i = 0; i < f.getArrayNItems() && i < 8; ++i)
            names.push_back(f.getArrayItem(i).isName() ? f.getArrayItem(i).getName() : std::string("?"));
    return names;
}

QPDFObjectHandle LastDecodeParms(QPDFObjectHandle dict) {
    QPDFObjectHandle p = dict.getKey("/DecodeParms");
    if (p.isArray() && p.getArrayNItems() > 0) p = p.getArrayItem(p.getArrayNItems() - 1);
    return p.isDictionary() ? p : QPDFObjectHandle::newDictionary();
}

struct PageImage {
    QPDFObjectHandle stream;
    double xDpi = 0, yDpi = 0;  // along the image's own rows and columns
    double placedWidthPt = 0, placedHeightPt = 0;
    double pageWidthPt = 0, pageHeightPt = 0;
    bool scanned = false;
    // Quarter turns clockwise that bring the decoded image upright as the
    // page is shown: the page's /Rotate less the turn of the image's
    // placement.
    int quarterTurns = 0;
};

// Quarter turns counter-clockwise of an image placed by ctm: its x axis
// along one of the page's axes (within about a degree) and not mirrored;
// 0 for any other placement.
int PlacementQuarterTurns(const Matrix& ctm) {
    const double det = ctm.a * ctm.d - ctm.b * ctm.c;
    if (!(det > 0)) return 0;
    constexpr double kQuarter = 1.5707963267948966;  // pi / 2
    const double quarters = std::atan2(ctm.b, ctm.a) / kQuarter;
    const double nearest = std::round(quarters);
    if (!(std::fabs(quarters - nearest) < 0.012)) return 0;
    return ((static_cast<int>(nearest) % 4) + 4) % 4;
}

// The page's /Rotate (inherited from the page tree when the page has none)
// in quarter turns clockwise; 0 when it is not a multiple of 90.
int PageQuarterTurns(QPDFPageObjectHelper& page) {
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (!rotate.isInteger()) return 0;
    const long long degrees = rotate.getIntValue();
    if (degrees % 90 != 0) return 0;
    return static_cast<int>(((degrees / 90) % 4 + 4) % 4);
}

// Turns a 1-, 8- or 24-bit image by quarter turns clockwise (1 to 3).
bool TurnPage(CDib& image, int quarters) {
    quarters = ((quarters % 4) + 4) % 4;
    if (quarters == 0) return true;
    const int32_t w = image.width, h = image.height;
    const bool swap = quarters % 2 == 1;
    CDib turned;
    if (!turned.Create(swap ? h : w, swap ? w : h, image.bitCount, image.xResolution))
        return FailIfNoCause("not enough memory to turn the PDF page");
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = image.Row(y);
        for (int32_t x = 0; x < w; ++x) {
            // Where source pixel (x, y) lands.
            int32_t nx, ny;
            if (quarters == 1)
                nx = h - 1 - y, ny = x;
            else if (quarters == 2)
                nx = w - 1 - x, ny = h - 1 - y;
            else
                nx = y, ny = w - 1 - x;
            uint8_t* out = turned.Row(ny);
            if (image.bitCount == 1) {
                if (in[x / 8] & (0x80 >> (x % 8))) out[nx / 8] |= static_cast<uint8_t>(0x80 >> (nx % 8));
            } else if (image.bitCount == 8) {
                out[nx] = in[x];
            } else {
                out[nx * 3] = in[x * 3];
                out[nx * 3 + 1] = in[x * 3 + 1];
                out[nx * 3 + 2] = in[x * 3 + 2];
            }
        }
    }
    image.TakePixels(turned);
    return true;
}

double Length(double x, double y) { return std::sqrt(x * x + y * y); }

// Finds the page's one image and its resolution; scanned stays false when
// the page is anything else.
void FindImage(QPDFObjectHandle pageObject, PageImage& found) {
    QPDFPageObjectHelper page(pageObject);
    const QPDFObjectHandle::Rectangle box = page.getCropBox(false, false).getArrayAsRectangle();
    found.pageWidthPt = std::fabs(box.urx - box.llx);
    found.pageHeightPt = std::fabs(box.ury - box.lly);
    const std::map<std::string, QPDFObjectHandle> images = page.getImages();
    if (images.empty()) return;
    ContentScan scan(images);
    page.parseContents(&scan);
    if (scan.imagesDrawn != 1 || scan.otherMarks || !scan.image.isStream()) return;
    QPDFObjectHandle dict = scan.image.getDict();
    const int64_t w = IntKey(dict, "/Width", 0), h = IntKey(dict, "/Height", 0);
    if (w <= 0 || h <= 0) return;
    // The image is drawn into the unit square mapped by the CTM: its edges
    // on the page are the CTM's two axis vectors.
    double wPt = Length(scan.imageCtm.a, scan.imageCtm.b);
    double hPt = Length(scan.imageCtm.c, scan.imageCtm.d);
    if (!(wPt >= 1) || !(hPt >= 1) || !std::isfinite(wPt) || !std::isfinite(hPt)) {
        // No usable placement: the image is taken to fill the page.
        const QPDFObjectHandle::Rectangle media = page.getMediaBox(false).getArrayAsRectangle();
        wPt = std::fabs(media.urx - media.llx);
        hPt = std::fabs(media.ury - media.lly);
    }
    // A page may state a larger unit than the point (UserUnit, in points).
    QPDFObjectHandle unit = pageObject.getKey("/UserUnit");
    if (unit.isNumber()) {
        const double u = unit.getNumericValue();
        if (std::isfinite(u) && u > 0 && u <= 75000) {
            wPt *= u;
            hPt *= u;
        }
    }
    if (!(wPt >= 1) || !(hPt >= 1)) return;
    found.quarterTurns = (PageQuarterTurns(page) - PlacementQuarterTurns(scan.imageCtm) + 4) % 4;
    found.stream = scan.image;
    found.placedWidthPt = wPt;
    found.placedHeightPt = hPt;
    found.xDpi = static_cast<double>(w) * 72.0 / wPt;
    found.yDpi = static_cast<double>(h) * 72.0 / hPt;
    found.scanned = true;
}

// Receives qpdf's decoded stream data, refusing more than the page can hold.
class CappedSink : public Pipeline {
public:
    explicit CappedSink(size_t cap) : Pipeline("page image", nullptr), cap_(cap) {}
    void write(unsigned char const* data, size_t len) override {
        if (over || len > cap_ - bytes.size()) {
            over = true;
            return;
        }
        bytes.insert(bytes.end(), data, data + len);
    }
    void finish() override {}
    std::vector<uint8_t> bytes;
    bool over = false;

private:
    size_t cap_;
};

// A bare TIFF around CCITT fax data, so that it reaches the TIFF reader's
// fax decoder with the parameters the PDF states.
std::vector<uint8_t> FaxAsTiff(const std::string& coded, uint32_t width, uint32_t height, int k,
                               bool byteAlign) {
    std::vector<uint8_t> t;
    auto u16 = [&](uint32_t v) {
        t.push_back(static_cast<uint8_t>(v));
        t.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const uint16_t entries = 10;
    const uint32_t dataOffset = 8 + 2 + entries * 12 + 4;
    t.insert(t.end(), {'I', 'I', 42, 0});
    u32(8);
    u16(entries);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        u16(tag);
        u16(type);
        u32(1);
        if (type == 3) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 1);                // one bit per sample
    entry(259, 3, k < 0 ? 4u : 3u);  // T.6 or T.4
    entry(262, 3, 0);                // white is zero: coded black reads black
    entry(273, 4, dataOffset);       // the one strip
    entry(277, 3, 1);
    entry(278, 4, height);
    entry(279, 4, static_cast<uint32_t>(coded.size()));
    if (k < 0)
        entry(293, 4, 0);
    else
        entry(292, 4, (k > 0 ? 1u : 0u) | (byteAlign ? 4u : 0u));
    u32(0);
    t.insert(t.end(), coded.begin(), coded.end());
    return t;
}

void InvertBits(CDib& image) {
    const int64_t rowBytes = CDib::RowBytes(image.width, image.bitCount);
    for (int32_t y = 0; y < image.height; ++y)
        for (int64_t x = 0; x < rowBytes; ++x) image.Row(y)[x] = static_cast<uint8_t>(~image.Row(y)[x]);
}

bool DecodeFax(QPDFObjectHandle stream, int64_t w, int64_t h, CDib& image, const DecodeLimits& limits) {
    QPDFObjectHandle dict = stream.getDict();
    QPDFObjectHandle parms = LastDecodeParms(dict);
    const int64_t k = IntKey(parms, "/K", 0);
    const int64_t columns = IntKey(parms, "/Columns", 1728);
    const int64_t rows = IntKey(parms, "/Rows", 0);
    const bool byteAlign = BoolKey(parms, "/EncodedByteAlign", false);
    const bool blackIs1 = BoolKey(parms, "/BlackIs1", false);
    if (columns != w)
        return FailIfNoCause("CCITT fax image with Columns " + std::to_string(columns) + " but Width " +
                             std::to_string(w));
    if (rows > 0 && rows != h)
        return FailIfNoCause("CCITT fax image with Rows " + std::to_string(rows) + " but Height " +
                             std::to_string(h));
    if (k < 0 && byteAlign) return FailIfNoCause("CCITT G4 image with EncodedByteAlign is not supported");
    if (!PageSizeAllowed(w, h, limits)) return false;
    std::shared_ptr<Buffer> raw = stream.getRawStreamData();
    if (raw->getSize() > 0xFFFFFF00u) return FailIfNoCause("CCITT fax image stream too large");
    const std::string coded(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    const std::vector<uint8_t> tiff =
        FaxAsTiff(coded, static_cast<uint32_t>(w), static_cast<uint32_t>(h), static_cast<int>(k), byteAlign);
    if (!DecodeTiff(tiff.data(), tiff.size(), image, limits))
        return FailIfNoCause("truncated or corrupt CCITT fax image");
    // The filter gives 0 for black unless BlackIs1; a Decode of [1 0]
    // inverts the samples once more.
    bool invert = blackIs1;
    QPDFObjectHandle decode = dict.getKey("/Decode");
    if (decode.isArray() && decode.getArrayNItems() == 2 && decode.getArrayItem(0).isNumber() &&
        decode.getArrayItem(0).getNumericValue() > 0.5)
        invert = !invert;
    if (invert && image.bitCount == 1) InvertBits(image);
    return true;
}

// The colour model of an image decoded to raw samples.
struct ColorModel {
    int components = 0;    // samples per pixel in the data
    bool indexed = false;  // one index per pixel into palette
    bool cmyk = false;
    std::vector<PaletteEntry> palette;  // indexed only
};

bool BaseComponents(QPDFObjectHandle cs, int& components, bool& cmyk) {
    cmyk = false;
    if (cs.isArray() && cs.getArrayNItems() >= 2 && cs.getArrayItem(0).isName() &&
        cs.getArrayItem(0).getName() == "/ICCBased") {
        QPDFObjectHandle icc = cs.getArrayItem(1);
        const int64_t n = icc.isStream() ? IntKey(icc.getDict(), "/N", 0) : 0;
        components = static_cast<int>(n);
        cmyk = n == 4;
        return n == 1 || n == 3 || n == 4;
    }
    if (cs.isArray() && cs.getArrayNItems() >= 1) cs = cs.getArrayItem(0);
    if (!cs.isName()) return false;
    const std::string name = cs.getName();
    if (name == "/DeviceGray" || name == "/CalGray" || name == "/G")
        components = 1;
    else if (name == "/DeviceRGB" || name == "/CalRGB" || name == "/RGB")
        components = 3;
    else if (name == "/DeviceCMYK" || name == "/CMYK")
        components = 4, cmyk = true;
    else
        return false;
    return true;
}

PaletteEntry FromCmyk(int c, int m, int y, int k) {
    PaletteEntry p;
    p.r = static_cast<uint8_t>(255 - std::min(255, c + k));
    p.g = static_cast<uint8_t>(255 - std::min(255, m + k));
    p.b = static_cast<uint8_t>(255 - std::min(255, y + k));
    return p;
}

bool ReadColorModel(QPDFObjectHandle dict, int bpc, ColorModel& model) {
    if (BoolKey(dict, "/ImageMask", false)) {
        // A stencil: 0 paints (in black, the usual fill), 1 leaves the page white.
        model.components = 1;
        model.indexed = true;
        const bool reversed = [&] {
            QPDFObjectHandle d = dict.getKey("/Decode");
            return d.isArray() && d.getArrayNItems() == 2 && d.getArrayItem(0).isNumber() &&
                   d.getArrayItem(0).getNumericValue() > 0.5;
        }();
        model.palette = {PaletteEntry{0, 0, 0}, PaletteEntry{255, 255, 255}};
        if (reversed) std::swap(model.palette[0], model.palette[1]);
        return bpc == 1;
    }
    QPDFObjectHandle cs = dict.getKey("/ColorSpace");
    if (cs.isArray() && cs.getArrayNItems() == 4 && cs.getArrayItem(0).isName() &&
        (cs.getArrayItem(0).getName() == "/Indexed" || cs.getArrayItem(0).getName() == "/I")) {
        int baseComponents = 0;
        bool cmyk = false;
        if (!BaseComponents(cs.getArrayItem(1), baseComponents, cmyk)) return false;
        QPDFObjectHandle hival = cs.getArrayItem(2);
        if (!hival.isInteger() || hival.getIntValue() < 0 || hival.getIntValue() > 255) return false;
        const size_t entries = static_cast<size_t>(hival.getIntValue()) + 1;
        QPDFObjectHandle lookup = cs.getArrayItem(3);
        std::string table;
        if (lookup.isString()) {
            table = lookup.getStringValue();
        } else if (lookup.isStream()) {
            CappedSink sink(entries * 4 + 16);
            bool attempted = false;
            if (!lookup.pipeStreamData(&sink, &attempted, 0, qpdf_dl_specialized, true) || sink.over)
                return false;
            if (!attempted && !Filters(lookup.getDict()).empty()) return false;
            table.assign(sink.bytes.begin(), sink.bytes.end());
        } else {
            return false;
        }
        const size_t per = static_cast<size_t>(baseComponents);
        for (size_t i = 0; i < entries; ++i) {
            PaletteEntry p;
            if ((i + 1) * per <= table.size()) {
                const auto* e = reinterpret_cast<const uint8_t*>(table.data()) + i * per;
                if (per == 1)
                    p = PaletteEntry{e[0], e[0], e[0]};
                else if (per == 3)
                    p = PaletteEntry{e[0], e[1], e[2]};
                else
                    p = FromCmyk(e[0], e[1], e[2], e[3]);
            }
            model.palette.push_back(p);
        }
        model.components = 1;
        model.indexed = true;
        return bpc == 1 || bpc == 2 || bpc == 4 || bpc == 8;
    }
    if (!BaseComponents(cs, model.components, model.cmyk)) return false;
    if (model.components == 1) {
        // Gray of any depth reads through a palette of its levels, which
        // makes two levels a 1-bit page and more an 8-bit one.
        if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8) return false;
        const int levels = 1 << bpc;
        bool reversed = false;
        QPDFObjectHandle d = dict.getKey("/Decode");
        if (d.isArray() && d.getArrayNItems() == 2 && d.getArrayItem(0).isNumber())
            reversed = d.getArrayItem(0).getNumericValue() > 0.5;
        for (int i = 0; i < levels; ++i) {
            const int v = (i * 255) / (levels - 1);
            const auto g = static_cast<uint8_t>(reversed ? 255 - v : v);
            model.palette.push_back(PaletteEntry{g, g, g});
        }
        model.indexed = true;
        return true;
    }
    return bpc == 8;
}

// Raw samples of an image whose filters qpdf decodes itself (Flate, LZW,
// run length, ASCII forms, with or without predictors).
bool DecodeRaw(QPDFObjectHandle stream, int64_t w, int64_t h, CDib& image, const DecodeLimits& limits) {
    QPDFObjectHandle dict = stream.getDict();
    const int64_t bpc = BoolKey(dict, "/ImageMask", false) ? 1 : IntKey(dict, "/BitsPerComponent", 0);
    ColorModel model;
    if (!ReadColorModel(dict, static_cast<int>(bpc), model))
        return FailIfNoCause("PDF image of an unsupported colour space or " + std::to_string(bpc) +
                             " bits per component");
    if (!PageSizeAllowed(w, h, limits)) return false;
    const int64_t rowBytes = (w * model.components * bpc + 7) / 8;
    const int64_t outEighths = model.indexed ? (model.palette.size() <= 2 ? 1 : 8) : 24;
    // The decoded samples and the page they become, side by side.
    if (!PageMemoryAllowed(w, h, outEighths + model.components * bpc, limits, "PDF")) return false;
    const size_t expected = static_cast<size_t>(rowBytes * h);
    CappedSink sink(expected + 4096);
    // Everything but the image codecs (which have their own routes above):
    // Flate, LZW, run length, the ASCII filters, with predictors.
    bool attempted = false;
    const bool piped = stream.pipeStreamData(&sink, &attempted, 0, qpdf_dl_specialized, true);
    if (!attempted && !Filters(dict).empty()) {
        std::string names;
        for (const std::string& f : Filters(dict))
            names += (names.empty() ? "" : " ") + f.substr(f.empty() ? 0 : 1);
        return FailIfNoCause("PDF image with filters " + names + " is not supported");
    }
    if (!piped) return FailIfNoCause("truncated or corrupt PDF image stream");
    if (sink.over)
        return FailIfNoCause("PDF image stream holds more data than its " + std::to_string(w) + " x " +
                             std::to_string(h) + " pixels");
    if (sink.bytes.size() < expected)
        return FailIfNoCause("truncated PDF image stream: " + std::to_string(sink.bytes.size()) + " of " +
                             std::to_string(expected) + " bytes");
    const auto width = static_cast<int32_t>(w), height = static_cast<int32_t>(h);
    if (model.indexed) {
        const PaletteKind kind = ClassifyPalette(model.palette);
        if (!CreateForPalette(image, width, height, kind))
            return FailIfNoCause("not enough memory for the page");
        std::vector<uint8_t> indices(static_cast<size_t>(w));
        const int bits = static_cast<int>(bpc);
        const int mask = (1 << bits) - 1;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = sink.bytes.data() + static_cast<size_t>(rowBytes) * static_cast<size_t>(y);
            for (int64_t x = 0; x < w; ++x) {
                const int64_t bit = x * bits;
                const int shift = 8 - bits - static_cast<int>(bit % 8);
                indices[static_cast<size_t>(x)] = static_cast<uint8_t>((row[bit / 8] >> shift) & mask);
            }
            StorePaletteRow(image, y, indices.data(), model.palette, kind);
        }
        return true;
    }
    if (!image.Create(width, height, 24, 0)) return FailIfNoCause("not enough memory for the page");
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = sink.bytes.data() + static_cast<size_t>(rowBytes) * static_cast<size_t>(y);
        uint8_t* out = image.Row(y);
        for (int32_t x = 0; x < width; ++x) {
            PaletteEntry p;
            if (model.cmyk) {
                const uint8_t* s = row + x * 4;
                p = FromCmyk(s[0], s[1], s[2], s[3]);
            } else {
                const uint8_t* s = row + x * 3;
                p = PaletteEntry{s[0], s[1], s[2]};
            }
            out[x * 3] = p.b;
            out[x * 3 + 1] = p.g;
            out[x * 3 + 2] = p.r;
        }
    }
    return true;
}

// A JPEG or JPEG-2000 stream goes to the codec table's reader of that format.
bool DecodeEncoded(QPDFObjectHandle stream, const char* what, ImageFormat a, ImageFormat b, CDib& image,
                   const DecodeLimits& limits) {
    if (Filters(stream.getDict()).size() != 1)
        return FailIfNoCause(std::string("PDF image with filters before ") + what + " is not supported");
    std::shared_ptr<Buffer> raw = stream.getRawStreamData();
    const uint8_t* bytes = raw->getBuffer();
    const size_t n = raw->getSize();
    const Codec* codec = CodecBySignature(bytes, n);
    if (!codec || (codec->format != a && codec->format != b))
        return FailIfNoCause(std::string("PDF image stream is not ") + what + " data (first bytes " +
                             SignatureText(bytes, n) + ")");
    return codec->decode(bytes, n, 0, image, limits);
}

bool DecodeScanned(PageImage& found, CDib& image, const DecodeLimits& limits) {
    QPDFObjectHandle dict = found.stream.getDict();
    const int64_t w = IntKey(dict, "/Width", 0), h = IntKey(dict, "/Height", 0);
    if (w <= 0 || h <= 0 || w > limits.maxSide || h > limits.maxSide)
        return FailIfNoCause("PDF image of " + std::to_string(w) + " x " + std::to_string(h) +
                             " pixels refused");
    // The decoders choose a reduced size from the page's resolution: here
    // the one the PDF places the image at, unless the host states one.
    DecodeOptions local;
    DecodeLimits inner = limits;
    if (limits.options) {
        local = *limits.options;
        if (local.pageXDpi <= 0 || local.pageYDpi <= 0) {
            local.pageXDpi = static_cast<int32_t>(std::lround(found.xDpi));
            local.pageYDpi = static_cast<int32_t>(std::lround(found.yDpi));
        }
        local.scaleNum = local.scaleDen = 1;
        inner.options = &local;
    }
    const std::vector<std::string> filters = Filters(dict);
    const std::string last = filters.empty() ? std::string() : filters.back();
    bool ok = false;
    if (last == "/DCTDecode" || last == "/DCT") {
        ok = DecodeEncoded(found.stream, "JPEG", ImageFormat::Jpeg, ImageFormat::Jpeg, image, inner);
    } else if (last == "/JPXDecode") {
        ok = DecodeEncoded(found.stream, "JPEG-2000", ImageFormat::J2k, ImageFormat::Jp2, image, inner);
    } else if (last == "/CCITTFaxDecode" || last == "/CCF") {
        ok = filters.size() == 1
                 ? DecodeFax(found.stream, w, h, image, inner)
                 : FailIfNoCause("PDF image with filters before CCITTFaxDecode is not supported");
    } else if (last == "/JBIG2Decode") {
        ok = FailIfNoCause("PDF image in JBIG2 is not supported");
    } else {
        ok = DecodeRaw(found.stream, w, h, image, inner);
    }
    if (!ok) return false;
    // A JPEG or JPEG-2000 stream knows its own size; when the dictionary
    // states another, the pixels decoded are the ones placed on the page.
    if (local.scaleNum == local.scaleDen && (image.width != w || image.height != h)) {
        found.xDpi = image.width * 72.0 / found.placedWidthPt;
        found.yDpi = image.height * 72.0 / found.placedHeightPt;
    }
    if (limits.options) {
        limits.options->scaleNum = local.scaleNum;
        limits.options->scaleDen = local.scaleDen;
    }
    // The page's own resolution is the image's placement; the decoder's
    // density (a JPEG's JFIF header) is not the PDF's.
    KeepStatedDensity(image, found.xDpi, found.yDpi, CDib::kDensityPerInch);
    const int32_t xr = static_cast<int32_t>(std::lround(std::min(found.xDpi, 1e6)));
    const int32_t yr = static_cast<int32_t>(std::lround(std::min(found.yDpi, 1e6)));
    image.xResolution = ScaledDpi(xr, local.scaleNum, local.scaleDen);
    image.yResolution = ScaledDpi(yr, local.scaleNum, local.scaleDen);
    // Turned as the page is shown; a quarter turn swaps the resolutions.
    if (found.quarterTurns != 0) {
        if (!TurnPage(image, found.quarterTurns)) return false;
        if (found.quarterTurns % 2 == 1) {
            std::swap(image.xResolution, image.yResolution);
            std::swap(image.storedXDensity, image.storedYDensity);
        }
    }
    return true;
}

std::string Prefixed(const std::string& cause, const std::string& warning) {
    return warning.empty() ? cause : cause + " (damaged PDF: " + warning + ")";
}

// Called inside a catch (...): names the cause of what qpdf or the allocator
// threw, unless a more precise cause is already set. Always false.
bool FailFromCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return FailIfNoCause("not enough memory to read the PDF");
    } catch (const std::exception& e) {
        return FailIfNoCause("damaged PDF: " + QpdfCause(e));
    } catch (...) {
        return FailIfNoCause("damaged PDF");
    }
}

}  // namespace

int CountPagesPdf(const uint8_t* data, size_t size) {
    try {
        OpenPdf open;
        if (!Open(open, data, size)) return 0;
        QPDFObjectHandle page;
        int count = 0;
        if (!Page(open, 0, page, count)) return 0;
        return count;
    } catch (...) {
        FailFromCurrentException();
    }
    return 0;
}

bool InspectPdfPage(const uint8_t* data, size_t size, int page, PdfPageInfo& info) {
    info = PdfPageInfo{};
    try {
        OpenPdf open;
        QPDFObjectHandle pageObject;
        int count = 0;
        if (!Open(open, data, size) || !Page(open, page, pageObject, count)) return false;
        PageImage found;
        FindImage(pageObject, found);
        info.pageWidthPt = found.pageWidthPt;
        info.pageHeightPt = found.pageHeightPt;
        info.scannedImage = found.scanned;
        if (found.scanned) {
            QPDFObjectHandle dict = found.stream.getDict();
            const std::vector<std::string> filters = Filters(dict);
            if (!filters.empty()) info.filter = filters.back().substr(1);
            info.width = static_cast<int32_t>(std::min<int64_t>(IntKey(dict, "/Width", 0), INT32_MAX));
            info.height = static_cast<int32_t>(std::min<int64_t>(IntKey(dict, "/Height", 0), INT32_MAX));
            info.xDpi = found.xDpi;
            info.yDpi = found.yDpi;
        }
        return true;
    } catch (...) {
        FailFromCurrentException();
    }
    return false;
}

bool DecodePdfPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits) {
    std::string warning;
    try {
        OpenPdf open;
        QPDFObjectHandle pageObject;
        int count = 0;
        if (!Open(open, data, size) || !Page(open, page, pageObject, count)) return false;
        PageImage found;
        FindImage(pageObject, found);
        KeepFirstWarning(open);
        warning = open.firstWarning;
        if (found.scanned) {
            ClearReadFailure();
            if (DecodeScanned(found, image, limits)) return true;
            image.Free();
            const std::string cause = LastReadFailure();
            SetReadFailure(Prefixed(cause.empty() ? "unreadable PDF page image" : cause, warning));
            return false;
        }
    } catch (...) {
        image.Free();
        return FailFromCurrentException();
    }
    if (!PdfRendererAvailable())
        return FailIfNoCause(
            Prefixed("PDF page is not one scanned image, and this build has no PDF renderer "
                     "(built without Poppler)",
                     warning));
    if (RenderPdfPage(data, size, page, CurrentPdfSettings().renderDpi, image, limits)) return true;
    const std::string cause = LastReadFailure();
    SetReadFailure(Prefixed(cause.empty() ? "PDF page cannot be rendered" : cause, warning));
    return false;
}

}  // namespace imagefile
