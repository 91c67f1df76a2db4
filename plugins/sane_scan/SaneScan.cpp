// Scanning library over SANE (libMorvaneSaneScan.so): the nine scan
// functions of devices/ScanLibraryApi.h.
//
// Meaning of the scan values of TwainScanStart:
//   imageType    0 line art (1 bit), 1 gray (8 bits), 2 colour (24 bits)
//   resolution   dots per inch, within the scanner's range
//   attribute3   non-zero: feed pages from the document feeder (multi-page)
//   attribute4   not used
//   left, top, width, height
//                scan area in thousandths of an inch from the scanner's
//                origin; a width or height of 0 reaches the far edge
//   rotate       0 none; 1 or 90, 2 or 180, 3 or 270: quarter turns clockwise
//   invert       non-zero: black and white exchanged
//   autoDuplex   non-zero: feed both sides (the feeder's duplex source when
//                the scanner has one, else its simplex feeder)
//   showUI, autoCrop, autoRotate
//                not used (no user interface; SANE has no common option)
// Any value outside these ranges makes the start fail; the next
// TwainScanImageMemory then fails too.
//
// Pages: with the feeder, the next sheet is started as soon as a page has
// been read, so TwainHavePaper can answer; on the flatbed one page is
// scanned per start. Buffers come from malloc() and are released by the
// caller with free().
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "SaneSession.h"
#include "devices/ScanLibraryApi.h"

#define SCAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Limits on what a scanner may deliver for one page.
constexpr int64_t kMaxSide = 65536;
constexpr int64_t kMaxBytes = int64_t{1} << 30;
constexpr int kMaxResolution = 9600;

struct StartValues {
    int showUI = 0, imageType = 2, resolution = 300, attribute3 = 0, attribute4 = 0, left = 0, top = 0,
        width = 0, height = 0, rotate = 0, invert = 0, autoCrop = 0, autoRotate = 0, autoDuplex = 0;
    bool operator==(const StartValues& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
};

struct State {
    bool acquired = false;
    SANE_Handle handle = nullptr;
    std::string sourceName;
    StartValues values;
    bool started = false;      // a start with valid values is in force
    bool pagePending = false;  // sane_start already ran for the next page
    bool feederEmpty = false;  // the last page of this start has been read
    bool feeder = false;       // pages come from the document feeder
    int blackWhite = 0;
    int filterColor = 0;
};

State state;

bool Acquire() {
    if (!state.acquired) state.acquired = MorvaneSaneAcquire() != 0;
    return state.acquired;
}

// Ends the scan in progress. A page already started for the feeder is
// read to its end first: SANE backends that read through a helper thread
// (the test backend among them) stop it by cancelling the thread, which can
// hang or lose memory when it is caught in the middle of its work. The
// sheet was fed either way.
void EndScan() {
    if (!state.handle) return;
    if (state.pagePending) {
        unsigned char scratch[1 << 14];
        int64_t drained = 0;
        SANE_Int n = 0;
        while (drained <= kMaxBytes &&
               sane_read(state.handle, scratch, static_cast<SANE_Int>(sizeof(scratch)), &n) ==
                   SANE_STATUS_GOOD)
            drained += n;
        state.pagePending = false;
    }
    sane_cancel(state.handle);
}

void CloseDevice() {
    if (state.handle) {
        EndScan();
        sane_close(state.handle);
    }
    state.handle = nullptr;
    state.started = state.pagePending = state.feederEmpty = false;
}

// The library leaves the process: give the device and SANE back.
__attribute__((destructor)) void Shutdown() {
    CloseDevice();
    if (state.acquired) MorvaneSaneRelease();
    state.acquired = false;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

// Option number by name, 0 when the scanner has none.
SANE_Int FindOption(const char* name, const SANE_Option_Descriptor** found = nullptr) {
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(state.handle, i);
        if (!d) return 0;
        if (d->name && std::strcmp(d->name, name) == 0) {
            if (found) *found = d;
            return i;
        }
    }
}

bool Settable(const SANE_Option_Descriptor* d) {
    return SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap);
}

// Sets a numeric option (integer or fixed) to `value`; `roundUp` takes the
// fixed value just above so that whole pixels are not lost to rounding.
bool SetNumber(const char* name, double value, bool required, bool roundUp = false) {
    const SANE_Option_Descriptor* d = nullptr;
    const SANE_Int n = FindOption(name, &d);
    if (!n || !Settable(d)) return !required;
    SANE_Word word = 0;
    if (d->type == SANE_TYPE_FIXED)
        word = static_cast<SANE_Word>(roundUp ? std::ceil(value * 65536.0) : std::lround(value * 65536.0));
    else if (d->type == SANE_TYPE_INT)
        word = static_cast<SANE_Word>(std::lround(value));
    else
        return !required;
    return sane_control_option(state.handle, n, SANE_ACTION_SET_VALUE, &word, nullptr) == SANE_STATUS_GOOD;
}

// Range of a numeric option in its own unit; false without a range.
bool NumberRange(const char* name, double& low, double& high) {
    const SANE_Option_Descriptor* d = nullptr;
    if (!FindOption(name, &d)) return false;
    auto toDouble = [d](SANE_Word w) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w); };
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        low = toDouble(d->constraint.range->min);
        high = toDouble(d->constraint.range->max);
        return true;
    }
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list &&
        d->constraint.word_list[0] > 0) {
        low = high = toDouble(d->constraint.word_list[1]);
        for (SANE_Word i = 1; i <= d->constraint.word_list[0]; ++i) {
            low = std::min(low, toDouble(d->constraint.word_list[i]));
            high = std::max(high, toDouble(d->constraint.word_list[i]));
        }
        return true;
    }
    return false;
}

// Sets a string-list option to the first offered value containing one of
// the wanted texts (in order of preference).
bool SetChoice(const char* name, const std::vector<std::string>& wanted) {
    const SANE_Option_Descriptor* d = nullptr;
    const SANE_Int n = FindOption(name, &d);
    if (!n || !Settable(d) || d->type != SANE_TYPE_STRING ||
        d->constraint_type != SANE_CONSTRAINT_STRING_LIST)
        return false;
    for (const std::string& w : wanted) {
        for (const SANE_String_Const* s = d->constraint.string_list; s && *s; ++s) {
            if (!ContainsNoCase(*s, w)) continue;
            std::vector<char> value(static_cast<size_t>(std::max<SANE_Int>(d->size, 1)) + std::strlen(*s) + 1,
                                    0);
            std::strcpy(value.data(), *s);
            return sane_control_option(state.handle, n, SANE_ACTION_SET_VALUE, value.data(), nullptr) ==
                   SANE_STATUS_GOOD;
        }
    }
    return false;
}

bool ApplyValues(const StartValues& v) {
    // Scan mode: SANE scanners name their modes freely; a gray mode with one
    // bit per sample stands in for line art where no line-art mode exists.
    if (v.imageType == 0) {
        if (!SetChoice(SANE_NAME_SCAN_MODE, {"lineart", "binary", "black"})) {
            if (!SetChoice(SANE_NAME_SCAN_MODE, {"gray", "grey"})) return false;
            SetNumber(SANE_NAME_BIT_DEPTH, 1, false);
        }
    } else if (v.imageType == 1) {
        if (!SetChoice(SANE_NAME_SCAN_MODE, {"gray", "grey"})) return false;
        SetNumber(SANE_NAME_BIT_DEPTH, 8, false);
    } else {
        if (!SetChoice(SANE_NAME_SCAN_MODE, {"color", "colour", "rgb"})) return false;
        SetNumber(SANE_NAME_BIT_DEPTH, 8, false);
    }

    double low = 0, high = 0;
    if (NumberRange(SANE_NAME_SCAN_RESOLUTION, low, high) && (v.resolution < low || v.resolution > high))
        return false;
    if (!SetNumber(SANE_NAME_SCAN_RESOLUTION, v.resolution, true)) return false;

    // Source: the feeder (duplex first when asked) or the flatbed.
    if (v.attribute3 != 0 || v.autoDuplex != 0) {
        bool ok = v.autoDuplex != 0 && SetChoice(SANE_NAME_SCAN_SOURCE, {"duplex"});
        if (!ok) ok = SetChoice(SANE_NAME_SCAN_SOURCE, {"automatic document feeder", "adf", "feeder"});
        if (!ok) return false;
        state.feeder = true;
    } else {
        SetChoice(SANE_NAME_SCAN_SOURCE, {"flatbed"});
        state.feeder = false;
    }

    // Area: thousandths of an inch to the scanner's unit (millimetres, as
    // SANE scanners give their geometry).
    const SANE_Option_Descriptor* d = nullptr;
    if (FindOption(SANE_NAME_SCAN_TL_X, &d) && d->unit == SANE_UNIT_MM) {
        const double mm = 25.4 / 1000.0;
        double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
        if (!NumberRange(SANE_NAME_SCAN_BR_X, xLow, xHigh) || !NumberRange(SANE_NAME_SCAN_BR_Y, yLow, yHigh))
            return false;
        const double left = v.left * mm, top = v.top * mm;
        const double right = v.width > 0 ? left + v.width * mm : xHigh;
        const double bottom = v.height > 0 ? top + v.height * mm : yHigh;
        // 1/100 mm of slack for the scanner's own rounding of its limits.
        if (left >= xHigh || top >= yHigh || right > xHigh + 0.01 || bottom > yHigh + 0.01) return false;
        if (!SetNumber(SANE_NAME_SCAN_TL_X, left, true) || !SetNumber(SANE_NAME_SCAN_TL_Y, top, true) ||
            !SetNumber(SANE_NAME_SCAN_BR_X, std::min(right, xHigh), true, true) ||
            !SetNumber(SANE_NAME_SCAN_BR_Y, std::min(bottom, yHigh), true, true))
            return false;
    }
    return true;
}

bool ValidValues(const StartValues& v) {
    if (v.imageType < 0 || v.imageType > 2) return false;
    if (v.resolution <= 0 || v.resolution > kMaxResolution) return false;
    if (v.left < 0 || v.top < 0 || v.width < 0 || v.height < 0) return false;
    switch (v.rotate) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 90:
        case 180:
        case 270:
            break;
        default:
            return false;
    }
    return true;
}

// One page as the scanner sent it: rows of `bytesPerLine` bytes.
struct RawPage {
    SANE_Parameters params{};
    std::vector<uint8_t> bytes;
    int64_t lines = 0;
};

// Reads the frame sane_start has begun, up to its end. `lines` is counted
// from the bytes when the scanner did not know the height in advance.
bool ReadFrame(RawPage& page, std::vector<uint8_t>& into) {
    const SANE_Parameters& p = page.params;
    if (p.bytes_per_line <= 0 || p.pixels_per_line <= 0 || p.pixels_per_line > kMaxSide) return false;
    const size_t expected =
        p.lines > 0 ? static_cast<size_t>(p.lines) * static_cast<size_t>(p.bytes_per_line) : 0;
    if (p.lines > kMaxSide || static_cast<int64_t>(expected) > kMaxBytes) return false;
    try {
        into.resize(expected > 0 ? expected : static_cast<size_t>(p.bytes_per_line) * 256);
        size_t filled = 0;
        for (;;) {
            if (filled == into.size()) {
                if (expected > 0) {
                    // A scanner that sends more than it announced: drain and drop.
                    uint8_t scratch[4096];
                    SANE_Int n = 0;
                    SANE_Status s;
                    while ((s = sane_read(state.handle, scratch, sizeof(scratch), &n)) == SANE_STATUS_GOOD) {
                    }
                    if (s != SANE_STATUS_EOF) return false;
                    break;
                }
                if (static_cast<int64_t>(into.size()) * 2 > kMaxBytes) return false;
                into.resize(into.size() * 2);
            }
            const size_t room = std::min<size_t>(into.size() - filled, 1 << 20);
            SANE_Int n = 0;
            const SANE_Status s =
                sane_read(state.handle, into.data() + filled, static_cast<SANE_Int>(room), &n);
            if (s == SANE_STATUS_EOF) break;
            if (s != SANE_STATUS_GOOD) return false;
            filled += static_cast<size_t>(std::max<SANE_Int>(n, 0));
        }
        page.lines = static_cast<int64_t>(filled / static_cast<size_t>(p.bytes_per_line));
        if (page.lines <= 0 || page.lines > kMaxSide) return false;
        into.resize(static_cast<size_t>(page.lines) * static_cast<size_t>(p.bytes_per_line));
    } catch (...) {
        return false;
    }
    return true;
}

// Reads a whole page; three-pass scanners send one frame per colour.
bool ReadPage(RawPage& page) {
    if (sane_get_parameters(state.handle, &page.params) != SANE_STATUS_GOOD) return false;
    const SANE_Frame first = page.params.format;
    if (first == SANE_FRAME_GRAY || first == SANE_FRAME_RGB) return ReadFrame(page, page.bytes);
    // Separate red, green and blue frames: interleave them as RGB.
    std::vector<uint8_t> planes[3];
    SANE_Parameters first_params = page.params;
    for (int frame = 0; frame < 3; ++frame) {
        if (frame > 0) {
            if (sane_start(state.handle) != SANE_STATUS_GOOD) return false;
            if (sane_get_parameters(state.handle, &page.params) != SANE_STATUS_GOOD) return false;
        }
        const int plane = page.params.format == SANE_FRAME_RED     ? 0
                          : page.params.format == SANE_FRAME_GREEN ? 1
                          : page.params.format == SANE_FRAME_BLUE  ? 2
                                                                   : -1;
        if (plane < 0 || page.params.depth != 8 ||
            page.params.pixels_per_line != first_params.pixels_per_line)
            return false;
        if (!ReadFrame(page, planes[plane]) || planes[plane].empty()) return false;
        if (page.params.last_frame) break;
    }
    if (planes[0].size() != planes[1].size() || planes[1].size() != planes[2].size()) return false;
    const int64_t w = first_params.pixels_per_line;
    page.params.format = SANE_FRAME_RGB;
    page.params.bytes_per_line = static_cast<SANE_Int>(w * 3);
    const int64_t planeLine = static_cast<int64_t>(planes[0].size()) / page.lines;
    try {
        page.bytes.assign(static_cast<size_t>(page.lines * w * 3), 0);
    } catch (...) {
        return false;
    }
    for (int64_t y = 0; y < page.lines; ++y)
        for (int64_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                page.bytes[static_cast<size_t>((y * w + x) * 3 + c)] =
                    planes[c][static_cast<size_t>(y * planeLine + x)];
    return true;
}

int64_t RowBytes(int64_t width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

// Converts a page to the delivered layout: bottom-up nothing, top row
// first; 1-bit set = black, 8-bit gray, 24-bit blue, green, red; rows
// padded to four bytes.
unsigned char* Convert(const RawPage& page, int imageType, int& width, int& height, int& bitCount,
                       int& stride) {
    const SANE_Parameters& p = page.params;
    width = p.pixels_per_line;
    height = static_cast<int>(page.lines);
    const bool gray = p.format == SANE_FRAME_GRAY;
    if (gray && p.depth == 1)
        bitCount = 1;
    else if (gray && (p.depth == 8 || p.depth == 16))
        bitCount = imageType == 0 ? 1 : 8;
    else if (!gray && (p.depth == 8 || p.depth == 16))
        bitCount = 24;
    else
        return nullptr;
    const int64_t rowBytes = RowBytes(width, bitCount);
    const int64_t total = rowBytes * height;
    if (total <= 0 || total > kMaxBytes) return nullptr;
    const int64_t samples = gray ? 1 : 3;
    const int64_t needed = p.depth == 1 ? (int64_t{width} + 7) / 8 : width * samples * (p.depth / 8);
    if (p.bytes_per_line < needed) return nullptr;
    auto* out = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(total), 1));
    if (!out) return nullptr;
    const int step = p.depth / 8;
    // Most significant byte of a 16-bit sample in host order.
    const uint16_t one = 1;
    uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    const int high = p.depth == 16 && first == 1 ? 1 : 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src =
            page.bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(p.bytes_per_line);
        unsigned char* dst = out + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
        if (p.depth == 1) {
            std::memcpy(dst, src, static_cast<size_t>((width + 7) / 8));
        } else if (bitCount == 1) {
            for (int x = 0; x < width; ++x)
                if (src[x * step + high] < 128) dst[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
        } else if (bitCount == 8) {
            if (step == 1)
                std::memcpy(dst, src, static_cast<size_t>(width));
            else
                for (int x = 0; x < width; ++x) dst[x] = src[x * 2 + high];
        } else {
            for (int x = 0; x < width; ++x) {
                const uint8_t* s = src + static_cast<size_t>(x) * 3 * static_cast<size_t>(step);
                dst[x * 3 + 0] = s[2 * step + high];
                dst[x * 3 + 1] = s[1 * step + high];
                dst[x * 3 + 2] = s[0 * step + high];
            }
        }
        if (bitCount == 1 && width % 8) dst[width / 8] &= static_cast<unsigned char>(0xFF00 >> (width % 8));
    }
    stride = static_cast<int>(rowBytes);
    return out;
}

void Invert(unsigned char* page, int width, int height, int bitCount, int stride) {
    const int64_t bytes = (int64_t{width} * bitCount + 7) / 8;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = page + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int64_t i = 0; i < bytes; ++i) row[i] = static_cast<unsigned char>(~row[i]);
        if (bitCount == 1 && width % 8) row[width / 8] &= static_cast<unsigned char>(0xFF00 >> (width % 8));
    }
}

// Turns a page by quarter turns clockwise into a new buffer; null when
// memory runs out (the source is then kept by the caller).
unsigned char* Rotate(const unsigned char* page, int& width, int& height, int bitCount, int& stride,
                      int turns) {
    const int w = width, h = height;
    const int nw = turns == 2 ? w : h, nh = turns == 2 ? h : w;
    const int64_t nstride = RowBytes(nw, bitCount);
    auto* out = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(nstride * nh), 1));
    if (!out) return nullptr;
    const int bpp = bitCount / 8;
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = page + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < w; ++x) {
            int nx, ny;
            if (turns == 1) {
                nx = h - 1 - y;
                ny = x;
            } else if (turns == 2) {
                nx = w - 1 - x;
                ny = h - 1 - y;
            } else {
                nx = y;
                ny = w - 1 - x;
            }
            unsigned char* dst = out + static_cast<size_t>(ny) * static_cast<size_t>(nstride);
            if (bitCount == 1) {
                if (row[x >> 3] & (0x80 >> (x & 7)))
                    dst[nx >> 3] |= static_cast<unsigned char>(0x80 >> (nx & 7));
            } else {
                std::memcpy(dst + nx * bpp, row + x * bpp, static_cast<size_t>(bpp));
            }
        }
    }
    width = nw;
    height = nh;
    stride = static_cast<int>(nstride);
    return out;
}

// `count` pixels copied from src to dst with red and blue exchanged; dst
// may be src.
void CopySwapRedBlueScalar(unsigned char* dst, const unsigned char* src, int64_t count) {
    for (int64_t x = 0; x < count; ++x) {
        const unsigned char first = src[x * 3], middle = src[x * 3 + 1], last = src[x * 3 + 2];
        dst[x * 3] = last;
        dst[x * 3 + 1] = middle;
        dst[x * 3 + 2] = first;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Byte-shuffle masks for sixteen pixels (48 bytes, three vectors) at a
// time: output vector k takes from input vector j the lanes masks[k][j]
// names (0x80: none). Loads and stores never overlap, so no store has to be
// forwarded into a later load.
struct SwapMasks {
    alignas(16) unsigned char m[3][3][16];
    SwapMasks() {
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 16; ++i) {
                    const int g = 16 * k + i, from = (g / 3) * 3 + (2 - g % 3);
                    m[k][j][i] = static_cast<unsigned char>(from / 16 == j ? from % 16 : 0x80);
                }
    }
};

__attribute__((target("ssse3"))) void CopySwapRedBlueSsse3(unsigned char* dst, const unsigned char* src,
                                                           int64_t count) {
    static const SwapMasks masks;
    __m128i m[3][3];
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) m[k][j] = _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[k][j]));
    int64_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i* from = reinterpret_cast<const __m128i*>(src + x * 3);
        __m128i* p = reinterpret_cast<__m128i*>(dst + x * 3);
        const __m128i v0 = _mm_loadu_si128(from), v1 = _mm_loadu_si128(from + 1),
                      v2 = _mm_loadu_si128(from + 2);
        const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(v0, m[0][0]), _mm_shuffle_epi8(v1, m[0][1]));
        const __m128i o1 =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, m[1][0]), _mm_shuffle_epi8(v1, m[1][1])),
                         _mm_shuffle_epi8(v2, m[1][2]));
        const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(v1, m[2][1]), _mm_shuffle_epi8(v2, m[2][2]));
        _mm_storeu_si128(p, o0);
        _mm_storeu_si128(p + 1, o1);
        _mm_storeu_si128(p + 2, o2);
    }
    CopySwapRedBlueScalar(dst + x * 3, src + x * 3, count - x);
}
#endif

void CopySwapRedBlue(unsigned char* dst, const unsigned char* src, int64_t count) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        CopySwapRedBlueSsse3(dst, src, count);
        return;
    }
#endif
    CopySwapRedBlueScalar(dst, src, count);
}

// Pages that need no conversion beyond row padding and the red/blue swap
// are read straight into the delivered buffer: one pass over the pixels
// instead of three. False (and nothing allocated) when the page is not of
// that kind; `failed` tells a read error from "not this kind".
unsigned char* ReadDirect(const SANE_Parameters& p, int imageType, int& width, int& height, int& bitCount,
                          int& stride, bool& failed) {
    failed = false;
    if (p.lines <= 0 || p.lines > kMaxSide || p.pixels_per_line <= 0 || p.pixels_per_line > kMaxSide)
        return nullptr;
    const int64_t w = p.pixels_per_line;
    int64_t needed = 0;
    if (p.format == SANE_FRAME_GRAY && p.depth == 1) {
        bitCount = 1;
        needed = (w + 7) / 8;
    } else if (p.format == SANE_FRAME_GRAY && p.depth == 8 && imageType != 0) {
        bitCount = 8;
        needed = w;
    } else if (p.format == SANE_FRAME_RGB && p.depth == 8) {
        bitCount = 24;
        needed = w * 3;
    } else {
        return nullptr;
    }
    const int64_t rowBytes = RowBytes(w, bitCount);
    const int64_t bpl = p.bytes_per_line;
    if (bpl < needed || bpl > rowBytes) return nullptr;
    const int64_t total = rowBytes * p.lines;
    if (total > kMaxBytes) return nullptr;
    auto* out = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(total)));
    if (!out) {
        failed = true;
        return nullptr;
    }
    // The data arrive through a small buffer that stays in cache and go
    // from there straight to their padded rows; each row is finished (red
    // and blue exchanged, padding cleared) while it is still in cache.
    static std::vector<unsigned char> chunk;
    try {
        chunk.resize(1 << 16);
    } catch (...) {
        std::free(out);
        failed = true;
        return nullptr;
    }
    int64_t y = 0, column = 0;  // row being filled and bytes of it received
    SANE_Status s = SANE_STATUS_GOOD;
    for (;;) {
        SANE_Int n = 0;
        s = sane_read(state.handle, chunk.data(), static_cast<SANE_Int>(chunk.size()), &n);
        if (s != SANE_STATUS_GOOD) break;
        int64_t pos = 0;
        // Whatever the scanner sends beyond what it announced is dropped.
        while (pos < n && y < p.lines) {
            unsigned char* row = out + y * rowBytes;
            if (column == 0 && bitCount == 24 && n - pos >= bpl) {
                // A whole colour row in the buffer: copied and turned in one go.
                CopySwapRedBlue(row, chunk.data() + pos, w);
                std::memset(row + needed, 0, static_cast<size_t>(rowBytes - needed));
                pos += bpl;
                ++y;
                continue;
            }
            const int64_t take = std::min<int64_t>(bpl - column, n - pos);
            if (column < needed)
                std::memcpy(row + column, chunk.data() + pos,
                            static_cast<size_t>(std::min(take, needed - column)));
            column += take;
            pos += take;
            if (column == bpl) {
                std::memset(row + needed, 0, static_cast<size_t>(rowBytes - needed));
                if (bitCount == 24)
                    CopySwapRedBlue(row, row, w);
                else if (bitCount == 1 && w % 8)
                    row[w / 8] &= static_cast<unsigned char>(0xFF00 >> (w % 8));
                ++y;
                column = 0;
            }
        }
    }
    const int64_t lines = y;
    if (s != SANE_STATUS_EOF || lines <= 0) {
        std::free(out);
        failed = true;
        return nullptr;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(lines);
    stride = static_cast<int>(rowBytes);
    return out;
}

int QuarterTurns(int rotate) {
    switch (rotate) {
        case 1:
        case 90:
            return 1;
        case 2:
        case 180:
            return 2;
        case 3:
        case 270:
            return 3;
        default:
            return 0;
    }
}

// Reads an active boolean sensor among the given names; -1 when none.
int PaperSensor() {
    for (const char* name : {"page-loaded", "adf-loaded", "document-loaded", "paper-loaded"}) {
        const SANE_Option_Descriptor* d = nullptr;
        const SANE_Int n = FindOption(name, &d);
        if (!n || d->type != SANE_TYPE_BOOL || !SANE_OPTION_IS_ACTIVE(d->cap)) continue;
        SANE_Bool value = SANE_FALSE;
        if (sane_control_option(state.handle, n, SANE_ACTION_GET_VALUE, &value, nullptr) == SANE_STATUS_GOOD)
            return value ? 1 : 0;
    }
    return -1;
}

bool OpenByName(const char* wanted) {
    CloseDevice();
    if (!Acquire() || !wanted) return false;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD) list = nullptr;
    std::string name;
    const std::string w = wanted;
    // The exact device name first, then a device whose description holds
    // the text, then the text itself (a backend name such as "test").
    for (const SANE_Device** d = list; d && *d && name.empty(); ++d)
        if ((*d)->name && w == (*d)->name) name = (*d)->name;
    for (const SANE_Device** d = list; d && *d && name.empty(); ++d) {
        const std::string text = std::string((*d)->name ? (*d)->name : "") + " " +
                                 ((*d)->vendor ? (*d)->vendor : "") + " " + ((*d)->model ? (*d)->model : "");
        if (text.find(w) != std::string::npos) name = (*d)->name ? (*d)->name : "";
    }
    if (name.empty()) name = w;
    if (name.empty()) return false;
    SANE_Handle handle = nullptr;
    if (sane_open(name.c_str(), &handle) != SANE_STATUS_GOOD || !handle) return false;
    state.handle = handle;
    return true;
}

}  // namespace

SCAN_EXPORT int TwainSelectSource(void) {
    if (!Acquire()) return 0;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list || !list[0] || !list[0]->name)
        return 0;
    const std::string first = list[0]->name;
    return OpenByName(first.c_str()) ? 1 : 0;
}

SCAN_EXPORT int TwainSelectSourceEx(int, const char* name) { return OpenByName(name) ? 1 : 0; }

SCAN_EXPORT int TwainSetSourceName(const char* name, int) {
    if (!name) return 0;
    try {
        state.sourceName = name;
    } catch (...) {
        return 0;
    }
    return 1;
}

SCAN_EXPORT int IsScanOnline(void) {
    return state.handle && sane_get_option_descriptor(state.handle, 0) ? 1 : 0;
}

SCAN_EXPORT int TwainScanStart(int, int showUI, int imageType, int resolution, int attribute3, int attribute4,
                               int left, int top, int width, int height, int rotate, int invert, int autoCrop,
                               int autoRotate, int autoDuplex) {
    StartValues v;
    v.showUI = showUI;
    v.imageType = imageType;
    v.resolution = resolution;
    v.attribute3 = attribute3;
    v.attribute4 = attribute4;
    v.left = left;
    v.top = top;
    v.width = width;
    v.height = height;
    v.rotate = rotate;
    v.invert = invert;
    v.autoCrop = autoCrop;
    v.autoRotate = autoRotate;
    v.autoDuplex = autoDuplex;
    // The same values while the feeder's next page is waiting: the
    // multi-page scan goes on.
    if (state.started && state.pagePending && v == state.values) return 1;
    EndScan();
    state.started = state.pagePending = state.feederEmpty = false;
    state.values = v;
    if (!state.handle || !ValidValues(v) || !ApplyValues(v)) return 0;
    state.started = true;
    return 1;
}

SCAN_EXPORT int TwainSetADVParameter(int blackWhite, int filterColor, int) {
    state.blackWhite = blackWhite;
    state.filterColor = filterColor;
    return 1;
}

SCAN_EXPORT int TwainScanImageMemory(unsigned char** buffer, int* width, int* height, int* bitCount,
                                     int* bytesPerRow) {
    if (!buffer || !width || !height || !bitCount || !bytesPerRow) return 0;
    *buffer = nullptr;
    *width = *height = *bitCount = *bytesPerRow = 0;
    if (!state.handle || !state.started) return 0;
    if (!state.pagePending) {
        const SANE_Status s = sane_start(state.handle);
        if (s != SANE_STATUS_GOOD) {
            sane_cancel(state.handle);
            state.feederEmpty = true;
            return 0;
        }
    }
    state.pagePending = false;
    int w = 0, h = 0, bits = 0, stride = 0;
    unsigned char* out = nullptr;
    bool read = false;
    SANE_Parameters params;
    if (sane_get_parameters(state.handle, &params) == SANE_STATUS_GOOD) {
        bool failed = false;
        out = ReadDirect(params, state.values.imageType, w, h, bits, stride, failed);
        read = out != nullptr;
        if (!out && !failed) {
            RawPage page;
            read = ReadPage(page);
            if (read) out = Convert(page, state.values.imageType, w, h, bits, stride);
        }
    }
    // The next sheet is started right away so that the feeder can tell
    // whether one is there; the flatbed holds one page per start.
    if (read && state.feeder && sane_start(state.handle) == SANE_STATUS_GOOD) {
        state.pagePending = true;
    } else {
        sane_cancel(state.handle);
        state.feederEmpty = true;
    }
    if (!out) return 0;
    if (state.values.invert) Invert(out, w, h, bits, stride);
    if (const int turns = QuarterTurns(state.values.rotate)) {
        unsigned char* turned = Rotate(out, w, h, bits, stride, turns);
        std::free(out);
        if (!turned) return 0;
        out = turned;
    }
    *buffer = out;
    *width = w;
    *height = h;
    *bitCount = bits;
    *bytesPerRow = stride;
    return 1;
}

SCAN_EXPORT int TwainScanEnd(void) {
    EndScan();
    state.started = false;
    state.pagePending = false;
    return 1;
}

SCAN_EXPORT int TwainHavePaper(void) {
    if (!state.handle) return 0;
    if (state.pagePending) return 1;
    if (state.feederEmpty) return 0;
    const int sensor = PaperSensor();
    // Without a sensor a page is taken to be there until a scan says not.
    return sensor < 0 ? 1 : sensor;
}
