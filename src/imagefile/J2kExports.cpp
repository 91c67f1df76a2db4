// The exported JPEG-2000 functions over OpenJPEG, and the "j2k" file
// branch of the image reader/writer, which goes through the same records.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/J2kCodec.h"
#include "morvane/classifier.h"

namespace {

// Tile-component records (about 1 KiB each) are allocated for every tile of
// a decoded codestream; beyond this many the codestream is refused.
constexpr int64_t kMaxTileComponentRecords = int64_t(1) << 18;

int64_t RecordSamples(const j2k_image_t* img, const j2k_comp_t& comp) {
    const int64_t w = (int64_t(img->x1) - img->x0 + comp.dx - 1) / comp.dx;
    const int64_t h = (int64_t(img->y1) - img->y0 + comp.dy - 1) / comp.dy;
    return w * h;
}

void FillTccp(j2k_tccp_t& dst, const opj_tccp_info_t& src) {
    dst.csty = static_cast<int>(src.csty);
    dst.numresolutions = static_cast<int>(src.numresolutions);
    dst.cblkw = static_cast<int>(src.cblkw);
    dst.cblkh = static_cast<int>(src.cblkh);
    dst.cblksty = static_cast<int>(src.cblksty);
    dst.qmfbid = static_cast<int>(src.qmfbid);
    dst.qntsty = static_cast<int>(src.qntsty);
    const int bands = std::min<int>(J2K_MAXBANDS, OPJ_J2K_MAXBANDS);
    for (int b = 0; b < bands; ++b) {
        dst.stepsizes[b].expn = static_cast<int>(src.stepsizes_expn[b]);
        dst.stepsizes[b].mant = static_cast<int>(src.stepsizes_mant[b]);
    }
    dst.numgbits = static_cast<int>(src.numgbits);
    dst.roishift = src.roishift;
    const int levels = std::min<int>(J2K_MAXRLVLS, OPJ_J2K_MAXRLVLS);
    for (int r = 0; r < levels; ++r) {
        dst.prcw[r] = static_cast<int>(src.prcw[r]);
        dst.prch[r] = static_cast<int>(src.prch[r]);
    }
}

// Builds the coding-parameter record from what the codestream header says.
// Every tile gets the main header's parameters.
j2k_cp_t* BuildCodingRecord(opj_codec_t* codec, int numcomps) {
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    if (!info) return nullptr;
    j2k_cp_t* cp = nullptr;
    const int64_t tiles = int64_t(info->tw) * info->th;
    if (tiles > 0 && tiles * numcomps <= kMaxTileComponentRecords && info->m_default_tile_info.tccp_info) {
        cp = static_cast<j2k_cp_t*>(std::calloc(1, sizeof(j2k_cp_t)));
    }
    if (cp) {
        cp->tx0 = static_cast<int>(info->tx0);
        cp->ty0 = static_cast<int>(info->ty0);
        cp->tdx = static_cast<int>(info->tdx);
        cp->tdy = static_cast<int>(info->tdy);
        cp->tw = static_cast<int>(info->tw);
        cp->th = static_cast<int>(info->th);
        cp->tcps = static_cast<j2k_tcp_t*>(std::calloc(static_cast<size_t>(tiles), sizeof(j2k_tcp_t)));
        const opj_tile_info_v2_t& def = info->m_default_tile_info;
        for (int64_t t = 0; cp->tcps && t < tiles; ++t) {
            j2k_tcp_t& tcp = cp->tcps[t];
            tcp.csty = static_cast<int>(def.csty);
            tcp.prg = static_cast<int>(def.prg);
            tcp.numlayers = static_cast<int>(def.numlayers);
            tcp.mct = static_cast<int>(def.mct);
            tcp.tccps =
                static_cast<j2k_tccp_t*>(std::calloc(static_cast<size_t>(numcomps), sizeof(j2k_tccp_t)));
            if (!tcp.tccps) break;
            for (int c = 0; c < numcomps; ++c) FillTccp(tcp.tccps[c], def.tccp_info[c]);
        }
    }
    opj_destroy_cstr_info(&info);
    return cp;
}

}  // namespace

extern "C" {

MORVANE_API int MORVANE_CALL j2k_encode(j2k_image_t* image, j2k_cp_t* cp, unsigned char* dest, int len) {
    if (!image || !cp || !dest || len <= 0) return 0;
    std::vector<uint8_t> out;
    if (!imagefile::EncodeJ2kRecords(image, cp, static_cast<size_t>(len), out)) return 0;
    if (out.size() > static_cast<size_t>(len)) return 0;
    std::memcpy(dest, out.data(), out.size());
    return static_cast<int>(out.size());
}

MORVANE_API int MORVANE_CALL j2k_decode(unsigned char* src, int len, j2k_image_t** image, j2k_cp_t** cp) {
    if (image) *image = nullptr;
    if (cp) *cp = nullptr;
    if (!src || len <= 0 || !image || !cp) return 0;
    return imagefile::DecodeJ2kToRecords(src, static_cast<size_t>(len), image, cp, imagefile::DecodeLimits{});
}

MORVANE_API void MORVANE_CALL j2k_destroy(j2k_image_t** image, j2k_cp_t** cp) {
    if (image && *image) {
        j2k_image_t* img = *image;
        if (img->comps) {
            for (int c = 0; c < img->numcomps; ++c) std::free(img->comps[c].data);
            std::free(img->comps);
        }
        std::free(img);
        *image = nullptr;
    }
    if (cp && *cp) {
        j2k_cp_t* p = *cp;
        if (p->tcps) {
            const int64_t tiles = int64_t(p->tw) * p->th;
            for (int64_t t = 0; t < tiles; ++t) std::free(p->tcps[t].tccps);
            std::free(p->tcps);
        }
        std::free(p);
        *cp = nullptr;
    }
}

}  // extern "C"

namespace imagefile {

int DecodeJ2kToRecords(const uint8_t* src, size_t len, j2k_image_t** image, j2k_cp_t** cp,
                       const DecodeLimits& limits) {
    *image = nullptr;
    *cp = nullptr;
    J2kDecoder decoder;
    if (!decoder.ReadHeader(src, len, limits)) return 0;
    const opj_image_t* oi = decoder.image;
    const int numcomps = static_cast<int>(oi->numcomps);
    j2k_image_t* img = static_cast<j2k_image_t*>(std::calloc(1, sizeof(j2k_image_t)));
    if (!img) return 0;
    *image = img;
    img->x0 = static_cast<int>(oi->x0);
    img->y0 = static_cast<int>(oi->y0);
    img->x1 = static_cast<int>(oi->x1);
    img->y1 = static_cast<int>(oi->y1);
    img->comps = static_cast<j2k_comp_t*>(std::calloc(static_cast<size_t>(numcomps), sizeof(j2k_comp_t)));
    if (!img->comps) return 0;
    img->numcomps = numcomps;
    for (int c = 0; c < numcomps; ++c) {
        j2k_comp_t& comp = img->comps[c];
        comp.dx = static_cast<int>(oi->comps[c].dx);
        comp.dy = static_cast<int>(oi->comps[c].dy);
        comp.prec = static_cast<int>(oi->comps[c].prec);
        comp.sgnd = static_cast<int>(oi->comps[c].sgnd);
        comp.data =
            static_cast<int*>(std::calloc(static_cast<size_t>(RecordSamples(img, comp)), sizeof(int)));
        if (!comp.data) return 0;
    }
    *cp = BuildCodingRecord(decoder.codec, numcomps);
    if (!*cp) return 0;
    if (!decoder.Decode()) return 0;
    for (int c = 0; c < numcomps; ++c) {
        j2k_comp_t& comp = img->comps[c];
        const opj_image_comp_t& s = decoder.image->comps[c];
        const int64_t rw = (int64_t(img->x1) - img->x0 + comp.dx - 1) / comp.dx;
        const int64_t rh = (int64_t(img->y1) - img->y0 + comp.dy - 1) / comp.dy;
        const int64_t cw = std::min<int64_t>(rw, s.w), ch = std::min<int64_t>(rh, s.h);
        for (int64_t y = 0; y < ch; ++y)
            std::memcpy(comp.data + y * rw, s.data + y * s.w, static_cast<size_t>(cw) * sizeof(int));
    }
    return static_cast<int>(decoder.consumed);
}

namespace {

// Decodes the codestream with `levels` resolution levels dropped (0: full
// size), working towards the target resolution when `levels` is -1.
// `dropped` receives the levels asked of the codec.
bool DecodeJ2kSamples(const uint8_t* data, size_t size, const DecodeLimits& limits, int levels,
                      J2kDecoder& decoder, int& dropped) {
    dropped = 0;
    const DecodeOptions* options = limits.options;
    if (options) decoder.threads = options->threads;
    if (!decoder.ReadHeader(data, size, limits, true)) return false;
    if (levels < 0) {
        // A codestream states no resolution: its pages are 300 dpi unless
        // the host says otherwise.
        const int32_t x = options->pageXDpi > 0 ? options->pageXDpi : 300;
        const int32_t y = options->pageYDpi > 0 ? options->pageYDpi : 300;
        levels = J2kLevelsToDrop(std::min(x, y), options->targetDpi, decoder.DroppableLevels());
    }
    dropped = levels;
    if (levels > 0 && !decoder.DropLevels(levels)) return false;
    if (!decoder.Decode()) return false;
    return decoder.image->comps[0].w > 0 && decoder.image->comps[0].h > 0;
}

}  // namespace

bool DecodeJ2k(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    image.Free();
    DecodeOptions* options = limits.options;
    if (options) options->scaleNum = options->scaleDen = 1;
    const bool reduce = options && options->targetDpi > 0;
    auto decoder = std::make_unique<J2kDecoder>();
    int dropped = 0;
    bool decoded = DecodeJ2kSamples(data, size, limits, reduce ? -1 : 0, *decoder, dropped);
    // A tile may carry fewer resolution levels than the main header: such a
    // codestream is decoded again at full size rather than refused.
    if (!decoded && dropped > 0) {
        decoder = std::make_unique<J2kDecoder>();
        decoded = DecodeJ2kSamples(data, size, limits, 0, *decoder, dropped);
    }
    if (!decoded) return false;  // "failed to decode J2K image!"
    const opj_image_t* oi = decoder->image;
    const opj_image_comp_t* c = oi->comps;
    int bpp = 0;
    if (oi->numcomps == 3 && c[0].dx == c[1].dx && c[0].dx == c[2].dx && c[0].dy == c[1].dy &&
        c[0].dy == c[2].dy && c[0].prec == c[1].prec && c[0].prec == c[2].prec && c[0].w == c[1].w &&
        c[0].w == c[2].w && c[0].h == c[1].h && c[0].h == c[2].h)
        bpp = 24;
    else if (oi->numcomps == 1)
        bpp = 8;
    else
        return false;  // "wrong frame!"
    const int32_t w = static_cast<int32_t>(c[0].w), h = static_cast<int32_t>(c[0].h);
    // The decoded samples fill every pixel byte of every row below.
    const int64_t stride = CDib::RowBytes(w, bpp);
    if (stride <= 0 || stride > INT32_MAX ||
        !image.CreateWithStrideForOverwrite(w, h, bpp, static_cast<int32_t>(stride)))
        return false;
    image.xResolution = image.yResolution = 300;
    if (dropped > 0) {
        const int32_t den = int32_t(1) << dropped;
        image.xResolution = ScaledDpi(options->pageXDpi > 0 ? options->pageXDpi : 300, 1, den);
        image.yResolution = ScaledDpi(options->pageYDpi > 0 ? options->pageYDpi : 300, 1, den);
        options->scaleNum = 1;
        options->scaleDen = den;
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = image.Row(y);
        const size_t at = static_cast<size_t>(y) * c[0].w;
        if (bpp == 8) {
            const OPJ_INT32* s = c[0].data + at;
            const int prec = static_cast<int>(c[0].prec);
            const bool sg = c[0].sgnd != 0;
            if (prec == 8 && !sg) {
                for (int32_t x = 0; x < w; ++x) row[x] = static_cast<uint8_t>(s[x]);
            } else {
                for (int32_t x = 0; x < w; ++x) row[x] = J2kSampleToByte(s[x], prec, sg);
            }
        } else {
            for (int32_t x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    row[3 * x + k] = J2kSampleToByte(c[2 - k].data[at + x], static_cast<int>(c[2 - k].prec),
                                                     c[2 - k].sgnd != 0);
        }
    }
    return true;
}

bool EncodeJ2k(const CDib& image, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels() || (image.bitCount != 8 && image.bitCount != 24)) return false;
    const int numcomps = image.bitCount == 24 ? 3 : 1;
    const int64_t pixels = int64_t(image.width) * image.height;
    j2k_image_t* img = static_cast<j2k_image_t*>(std::calloc(1, sizeof(j2k_image_t)));
    j2k_cp_t* cp = static_cast<j2k_cp_t*>(std::calloc(1, sizeof(j2k_cp_t)));
    bool ok = img && cp;
    if (ok) {
        img->x1 = image.width;
        img->y1 = image.height;
        img->comps = static_cast<j2k_comp_t*>(std::calloc(static_cast<size_t>(numcomps), sizeof(j2k_comp_t)));
        ok = img->comps != nullptr;
    }
    if (ok) {
        img->numcomps = numcomps;
        for (int c = 0; ok && c < numcomps; ++c) {
            j2k_comp_t& comp = img->comps[c];
            comp.dx = comp.dy = 1;
            comp.prec = 8;
            comp.data = static_cast<int*>(std::malloc(static_cast<size_t>(pixels) * sizeof(int)));
            ok = comp.data != nullptr;
        }
    }
    if (ok) {
        for (int32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = image.Row(y);
            const size_t at = static_cast<size_t>(y) * image.width;
            if (numcomps == 1) {
                for (int32_t x = 0; x < image.width; ++x) img->comps[0].data[at + x] = row[x];
            } else {
                // component 0 red, 1 green, 2 blue
                for (int32_t x = 0; x < image.width; ++x)
                    for (int c = 0; c < 3; ++c) img->comps[c].data[at + x] = row[3 * x + 2 - c];
            }
        }
        cp->tdx = image.width;
        cp->tdy = image.height;
        cp->tw = cp->th = 1;
        cp->tcps = static_cast<j2k_tcp_t*>(std::calloc(1, sizeof(j2k_tcp_t)));
        ok = cp->tcps != nullptr;
    }
    if (ok) {
        j2k_tcp_t& tcp = cp->tcps[0];
        tcp.csty = 0;
        tcp.prg = 0;
        tcp.numlayers = 1;
        // The byte budget is far above any codestream: every pass is kept.
        tcp.rates[0] = pixels * 100 > INT32_MAX ? INT32_MAX : static_cast<int>(pixels * 100);
        tcp.mct = numcomps == 3 ? 1 : 0;
        tcp.tccps = static_cast<j2k_tccp_t*>(std::calloc(static_cast<size_t>(numcomps), sizeof(j2k_tccp_t)));
        ok = tcp.tccps != nullptr;
        for (int c = 0; ok && c < numcomps; ++c) {
            j2k_tccp_t& t = tcp.tccps[c];
            t.csty = 0;
            t.numresolutions = 6;
            t.cblkw = t.cblkh = 6;
            t.cblksty = 0;
            t.qmfbid = 0;
            t.qntsty = 2;
            t.numgbits = 2;
            t.roishift = 0;
            DeriveJ2kStepSizes(&t, 8);
        }
    }
    // A codestream never needs much more than the raw samples; the margin
    // covers headers and incompressible noise.
    if (ok) ok = EncodeJ2kRecords(img, cp, static_cast<size_t>(pixels) * numcomps * 2 + 65536, out);
    j2k_destroy(&img, &cp);
    if (!ok) out.clear();
    return ok;
}

}  // namespace imagefile
