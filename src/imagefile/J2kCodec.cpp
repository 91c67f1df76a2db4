// JPEG-2000 codestreams through OpenJPEG: marker walk, memory streams,
// decoding with size limits, encoding from the public records.
#include "imagefile/J2kCodec.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace imagefile {
namespace {

constexpr uint8_t kSOC = 0x4F, kSOT = 0x90, kSOD = 0x93, kEOC = 0xD9, kCOD = 0x52, kQCD = 0x5C, kCOM = 0x64;
const char kComment[] = "Creator: J2000 codec";

uint32_t Be16(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
uint32_t Be32(const uint8_t* p) { return (Be16(p) << 16) | Be16(p + 2); }

void QuietMessage(const char*, void*) {}

void SilenceCodec(opj_codec_t* codec) {
    opj_set_info_handler(codec, QuietMessage, nullptr);
    opj_set_warning_handler(codec, QuietMessage, nullptr);
    opj_set_error_handler(codec, QuietMessage, nullptr);
}

// Output stream over a growing byte vector with an upper bound.
struct Sink {
    std::vector<uint8_t>* out;
    size_t pos;
    size_t max;
};

OPJ_SIZE_T SinkWrite(void* buf, OPJ_SIZE_T n, void* user) {
    auto* s = static_cast<Sink*>(user);
    if (s->pos + n > s->max) return static_cast<OPJ_SIZE_T>(-1);
    if (s->pos + n > s->out->size()) s->out->resize(s->pos + n);
    std::memcpy(s->out->data() + s->pos, buf, n);
    s->pos += n;
    return n;
}
OPJ_OFF_T SinkSkip(OPJ_OFF_T n, void* user) {
    auto* s = static_cast<Sink*>(user);
    if (n < 0 && static_cast<size_t>(-n) > s->pos) return -1;
    const size_t target = s->pos + static_cast<size_t>(n);
    if (target > s->max) return -1;
    if (target > s->out->size()) s->out->resize(target);
    s->pos = target;
    return n;
}
OPJ_BOOL SinkSeek(OPJ_OFF_T at, void* user) {
    auto* s = static_cast<Sink*>(user);
    if (at < 0 || static_cast<size_t>(at) > s->max) return OPJ_FALSE;
    if (static_cast<size_t>(at) > s->out->size()) s->out->resize(static_cast<size_t>(at));
    s->pos = static_cast<size_t>(at);
    return OPJ_TRUE;
}

// Sets Rcom of the creator comment in the main header to 0 (binary), as the
// codestreams of this system always carried it.
void MarkCommentBinary(std::vector<uint8_t>& cs) {
    size_t p = 2;
    while (p + 4 <= cs.size() && cs[p] == 0xFF && cs[p + 1] != kSOT) {
        const size_t len = Be16(&cs[p + 2]);
        if (len < 2 || p + 2 + len > cs.size()) return;
        if (cs[p + 1] == kCOM && len >= 4) {
            cs[p + 4] = 0;
            cs[p + 5] = 0;
            return;
        }
        p += 2 + len;
    }
}

}  // namespace

size_t ScanJ2kCodestream(const uint8_t* d, size_t n, std::vector<uint8_t>& fixed) {
    fixed.clear();
    if (!d || n < 4 || d[0] != 0xFF || d[1] != kSOC) return 0;
    size_t p = 2;
    bool haveCod = false, haveQcd = false;
    for (;;) {  // main header up to the first SOT
        if (p + 4 > n || d[p] != 0xFF) return 0;
        const uint8_t m = d[p + 1];
        if (m == kSOT) break;
        if (m == kEOC || m == kSOD || m == kSOC) return 0;
        const size_t len = Be16(d + p + 2);
        if (len < 2 || p + 2 + len > n) return 0;
        haveCod |= m == kCOD;
        haveQcd |= m == kQCD;
        p += 2 + len;
    }
    const size_t firstSot = p;
    size_t codAt = 0, codLen = 0, qcdAt = 0, qcdLen = 0;
    bool first = true;
    size_t end = 0;
    for (;;) {  // tile-parts up to EOC
        if (p + 2 > n || d[p] != 0xFF) return 0;
        if (d[p + 1] == kEOC) {
            end = p + 2;
            break;
        }
        if (d[p + 1] != kSOT || p + 12 > n || Be16(d + p + 2) != 10) return 0;
        const size_t psot = Be32(d + p + 6);
        if (first && (!haveCod || !haveQcd)) {
            const size_t limit = psot ? std::min(n, p + psot) : n;
            size_t q = p + 12;
            while (q + 4 <= limit && d[q] == 0xFF && d[q + 1] != kSOD) {
                const size_t len = Be16(d + q + 2);
                if (len < 2 || q + 2 + len > limit) break;
                if (d[q + 1] == kCOD && !codLen) codAt = q, codLen = 2 + len;
                if (d[q + 1] == kQCD && !qcdLen) qcdAt = q, qcdLen = 2 + len;
                q += 2 + len;
            }
        }
        first = false;
        if (psot == 0) {  // the last tile-part runs to EOC at the end of the data
            size_t q = n - 2;
            while (q >= p + 12 && !(d[q] == 0xFF && d[q + 1] == kEOC)) --q;
            if (q < p + 12) return 0;
            end = q + 2;
            break;
        }
        if (psot < 14 || psot > n - p) return 0;
        p += psot;
    }
    const bool needCod = !haveCod && codLen, needQcd = !haveQcd && qcdLen;
    if (needCod || needQcd) {
        fixed.reserve(end + codLen + qcdLen);
        fixed.insert(fixed.end(), d, d + firstSot);
        if (needCod) fixed.insert(fixed.end(), d + codAt, d + codAt + codLen);
        if (needQcd) fixed.insert(fixed.end(), d + qcdAt, d + qcdAt + qcdLen);
        fixed.insert(fixed.end(), d + firstSot, d + end);
    }
    return end;
}

bool J2kMainHeaderAllowed(const uint8_t* d, size_t n, const DecodeLimits& limits, bool pageComponentsOnly) {
    // SOC, then SIZ as the first marker segment.
    if (!d || n < 4 + 38 || d[0] != 0xFF || d[1] != kSOC || d[2] != 0xFF || d[3] != 0x51) return false;
    const uint8_t* siz = d + 4;
    const uint32_t lsiz = Be16(siz);
    const uint32_t csiz = Be16(siz + 36);
    if (csiz < 1 || csiz > 16384 || lsiz != 38 + 3 * csiz || 4 + size_t(lsiz) > n) return false;
    if (pageComponentsOnly && csiz != 1 && csiz != 3) return false;  // nothing else becomes a page
    const int64_t xsiz = Be32(siz + 4), ysiz = Be32(siz + 8), xo = Be32(siz + 12), yo = Be32(siz + 16);
    const int64_t xt = Be32(siz + 20), yt = Be32(siz + 24), xto = Be32(siz + 28), yto = Be32(siz + 32);
    if (xsiz <= xo || ysiz <= yo || xt == 0 || yt == 0 || xto > xo || yto > yo || xto + xt <= xo ||
        yto + yt <= yo)
        return false;
    const int64_t w = xsiz - xo, h = ysiz - yo;
    if (!PageSizeAllowed(w, h, limits)) return false;
    const int64_t tiles = ((xsiz - xto + xt - 1) / xt) * ((ysiz - yto + yt - 1) / yt);
    // Every tile holds coding records for every component.
    if (tiles > 65535 || tiles * csiz > 32768) return false;
    int64_t samples = 0;
    for (uint32_t c = 0; c < csiz; ++c) {
        const uint8_t* comp = siz + 38 + 3 * c;
        const int prec = (comp[0] & 0x7F) + 1;
        const int dx = comp[1], dy = comp[2];
        if (prec > 31 || dx == 0 || dy == 0) return false;
        samples += ((w + dx - 1) / dx) * ((h + dy - 1) / dy);
    }
    // Decoded samples are 32-bit.
    if (samples > limits.maxMemory / 4) return false;

    // The coding style: resolution levels, layers, code-block and precinct
    // sizes decide how many coding records the decoder sets up.
    size_t p = 4 + lsiz;
    while (p + 4 <= n && d[p] == 0xFF && d[p + 1] != kSOT) {
        const size_t len = Be16(d + p + 2);
        if (len < 2 || p + 2 + len > n) return false;
        if (d[p + 1] == kCOD) {
            if (len < 12) return false;
            const uint8_t* cod = d + p + 4;
            const int scod = cod[0];
            const int64_t layers = Be16(cod + 2);
            const int levels = cod[5];
            const int cbw = cod[6] + 2, cbh = cod[7] + 2;
            if (layers < 1 || layers > 256 || levels > 32 || cbw > 10 || cbh > 10 || cbw + cbh > 12)
                return false;
            if (tiles * csiz * (levels + 1) * layers > (int64_t(1) << 24)) return false;
            // Code-blocks of the whole page, about 128 bytes of records each.
            if ((samples >> (cbw + cbh)) * 128 > limits.maxMemory / 4) return false;
            if (scod & 1) {  // precinct sizes per resolution, lowest first
                if (len < size_t(12 + levels + 1)) return false;
                int64_t precincts = 0;
                for (int r = 0; r <= levels; ++r) {
                    const int ppx = cod[10 + r] & 0x0F, ppy = cod[10 + r] >> 4;
                    const int shift = levels - r;
                    const int64_t rw = shift >= 62 ? 1 : (w + (int64_t(1) << shift) - 1) >> shift;
                    const int64_t rh = shift >= 62 ? 1 : (h + (int64_t(1) << shift) - 1) >> shift;
                    precincts += ((rw >> ppx) + 1) * ((rh >> ppy) + 1);
                }
                if (precincts * csiz * 64 > limits.maxMemory / 4) return false;
            }
        }
        p += 2 + len;
    }
    return true;
}

J2kDecoder::~J2kDecoder() {
    if (image) opj_image_destroy(image);
    if (codec) opj_destroy_codec(codec);
    if (stream_) opj_stream_destroy(stream_);
}

bool J2kDecoder::ReadHeader(const uint8_t* data, size_t size, const DecodeLimits& limits,
                            bool pageComponentsOnly) {
    consumed = ScanJ2kCodestream(data, size, fixed_);
    if (!consumed) return false;
    source_.data = fixed_.empty() ? data : fixed_.data();
    source_.size = fixed_.empty() ? consumed : fixed_.size();
    // The codec's own header reading already allocates per tile and component.
    if (!J2kMainHeaderAllowed(source_.data, source_.size, limits, pageComponentsOnly)) return false;
    source_.pos = 0;
    stream_ = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    if (!stream_) return false;
    opj_stream_set_user_data(stream_, &source_, nullptr);
    opj_stream_set_user_data_length(stream_, source_.size);
    opj_stream_set_read_function(stream_, [](void* buf, OPJ_SIZE_T n, void* user) -> OPJ_SIZE_T {
        auto* s = static_cast<Source*>(user);
        if (s->pos >= s->size) return static_cast<OPJ_SIZE_T>(-1);
        const size_t k = std::min(static_cast<size_t>(n), s->size - s->pos);
        std::memcpy(buf, s->data + s->pos, k);
        s->pos += k;
        return k;
    });
    opj_stream_set_skip_function(stream_, [](OPJ_OFF_T n, void* user) -> OPJ_OFF_T {
        auto* s = static_cast<Source*>(user);
        if (n < 0) {
            const size_t back = std::min(static_cast<size_t>(-n), s->pos);
            s->pos -= back;
            return -static_cast<OPJ_OFF_T>(back);
        }
        const size_t k = std::min(static_cast<size_t>(n), s->size - s->pos);
        s->pos += k;
        return static_cast<OPJ_OFF_T>(k);
    });
    opj_stream_set_seek_function(stream_, [](OPJ_OFF_T at, void* user) -> OPJ_BOOL {
        auto* s = static_cast<Source*>(user);
        if (at < 0 || static_cast<size_t>(at) > s->size) return OPJ_FALSE;
        s->pos = static_cast<size_t>(at);
        return OPJ_TRUE;
    });
    codec = opj_create_decompress(OPJ_CODEC_J2K);
    if (!codec) return false;
    SilenceCodec(codec);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec, &params)) return false;
    // Always set, so that OPJ_NUM_THREADS in the environment decides nothing.
    if (opj_has_thread_support()) {
        const int workers = threads > 0 ? std::min(threads, 64) : std::clamp(opj_get_num_cpus(), 1, 64);
        opj_codec_set_threads(codec, workers > 1 ? workers : 0);
    }
    if (!opj_read_header(stream_, codec, &image) || !image) return false;
    if (image->numcomps == 0 || image->numcomps > 16384 || !image->comps) return false;
    if (image->x1 <= image->x0 || image->y1 <= image->y0) return false;
    if (!PageSizeAllowed(int64_t(image->x1) - image->x0, int64_t(image->y1) - image->y0, limits))
        return false;
    int64_t samples = 0;
    for (OPJ_UINT32 c = 0; c < image->numcomps; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.dx == 0 || comp.dy == 0 || comp.prec == 0 || comp.prec > 31) return false;
        samples += int64_t(comp.w) * comp.h;
    }
    if (samples > limits.maxMemory / 4) return false;
    return true;
}

int J2kDecoder::DroppableLevels() const {
    if (!codec || !image) return 0;
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    if (!info) return 0;
    int levels = 0;
    if (info->m_default_tile_info.tccp_info && info->nbcomps == image->numcomps && info->nbcomps > 0) {
        levels = INT_MAX;
        for (OPJ_UINT32 c = 0; c < info->nbcomps; ++c)
            levels =
                std::min(levels, static_cast<int>(info->m_default_tile_info.tccp_info[c].numresolutions) - 1);
        levels = std::max(levels, 0);
    }
    opj_destroy_cstr_info(&info);
    return levels;
}

bool J2kDecoder::DropLevels(int levels) {
    if (!codec || !image || levels < 0) return false;
    return opj_set_decoded_resolution_factor(codec, static_cast<OPJ_UINT32>(levels)) != 0;
}

bool J2kDecoder::Decode() {
    if (!codec || !stream_ || !image) return false;
    if (!opj_decode(codec, stream_, image)) return false;
    if (!opj_end_decompress(codec, stream_)) return false;
    for (OPJ_UINT32 c = 0; c < image->numcomps; ++c)
        if (!image->comps[c].data) return false;
    return true;
}

void DeriveJ2kStepSizes(j2k_tccp_t* tccp, int prec) {
    static const double kNorms[4][10] = {
        {1.000, 1.965, 4.177, 8.403, 16.90, 33.84, 67.69, 135.3, 270.6, 540.9},
        {2.022, 3.989, 8.355, 17.04, 34.27, 68.63, 137.3, 274.6, 549.0, 549.0},
        {2.022, 3.989, 8.355, 17.04, 34.27, 68.63, 137.3, 274.6, 549.0, 549.0},
        {2.080, 3.865, 8.307, 17.18, 34.71, 69.59, 139.3, 278.6, 557.2, 557.2}};
    const int numres = std::clamp(tccp->numresolutions, 1, J2K_MAXRLVLS);
    const int bands = std::min(3 * numres - 2, J2K_MAXBANDS);
    for (int b = 0; b < bands; ++b) {
        const int r = b == 0 ? 0 : (b - 1) / 3 + 1;
        const int o = b == 0 ? 0 : (b - 1) % 3 + 1;
        const int level = std::clamp(numres - 1 - r, 0, 9);
        int gain = 0;
        if (tccp->qmfbid == 1) gain = o == 0 ? 0 : o == 3 ? 2 : 1;
        const double delta = tccp->qntsty != 0 ? std::pow(2.0, gain + 1) / kNorms[o][level] : 1.0;
        const int s = static_cast<int>(std::floor(delta * 8192.0));
        int p = 0;
        while (s >> (p + 1)) ++p;
        int mant = p > 11 ? (s >> (p - 11)) : (s << (11 - p));
        tccp->stepsizes[b].expn = prec + gain - p + 13;
        tccp->stepsizes[b].mant = mant & 0x7FF;
    }
}

uint8_t J2kSampleToByte(int32_t v, int prec, bool sgnd) {
    if (prec <= 0 || prec > 31) return 0;
    int64_t x = v;
    if (sgnd) x += int64_t(1) << (prec - 1);
    const int64_t maxv = (int64_t(1) << prec) - 1;
    x = std::clamp<int64_t>(x, 0, maxv);
    if (prec == 8) return static_cast<uint8_t>(x);
    if (prec > 8) return static_cast<uint8_t>(x >> (prec - 8));
    return static_cast<uint8_t>((x * 255 + maxv / 2) / maxv);
}

bool EncodeJ2kRecords(const j2k_image_t* img, const j2k_cp_t* cp, size_t maxLength,
                      std::vector<uint8_t>& out) {
    out.clear();
    if (!img || !cp || !img->comps || img->numcomps < 1 || img->numcomps > 16384) return false;
    if (img->x0 < 0 || img->y0 < 0 || img->x1 <= img->x0 || img->y1 <= img->y0) return false;
    if (!cp->tcps || !cp->tcps[0].tccps) return false;
    const j2k_tcp_t& tcp = cp->tcps[0];
    const j2k_tccp_t& tccp = tcp.tccps[0];
    if (tcp.numlayers < 1 || tcp.numlayers > J2K_MAXLAYERS || tcp.prg < 0 || tcp.prg > 4) return false;
    if (tccp.numresolutions < 1 || tccp.numresolutions > J2K_MAXRLVLS) return false;
    if (tccp.cblkw < 2 || tccp.cblkh < 2 || tccp.cblkw > 10 || tccp.cblkh > 10 ||
        tccp.cblkw + tccp.cblkh > 12)
        return false;
    const int numcomps = img->numcomps;
    std::vector<opj_image_cmptparm_t> parms(static_cast<size_t>(numcomps));
    double rawBytes = 0;
    for (int c = 0; c < numcomps; ++c) {
        const j2k_comp_t& comp = img->comps[c];
        if (!comp.data || comp.dx < 1 || comp.dy < 1 || comp.dx > 255 || comp.dy > 255 || comp.prec < 1 ||
            comp.prec > 31)
            return false;
        // Canvas coordinates rounded up to the sub-sampling grid must stay in
        // the signed 32-bit range the records use.
        if (int64_t(img->x1) + comp.dx - 1 > INT32_MAX || int64_t(img->y1) + comp.dy - 1 > INT32_MAX)
            return false;
        opj_image_cmptparm_t& p = parms[static_cast<size_t>(c)];
        std::memset(&p, 0, sizeof(p));
        p.dx = static_cast<OPJ_UINT32>(comp.dx);
        p.dy = static_cast<OPJ_UINT32>(comp.dy);
        p.x0 = static_cast<OPJ_UINT32>((int64_t(img->x0) + comp.dx - 1) / comp.dx);
        p.y0 = static_cast<OPJ_UINT32>((int64_t(img->y0) + comp.dy - 1) / comp.dy);
        p.w = static_cast<OPJ_UINT32>((int64_t(img->x1) + comp.dx - 1) / comp.dx) - p.x0;
        p.h = static_cast<OPJ_UINT32>((int64_t(img->y1) + comp.dy - 1) / comp.dy) - p.y0;
        if (p.w == 0 || p.h == 0) return false;
        p.prec = static_cast<OPJ_UINT32>(comp.prec);
        p.sgnd = comp.sgnd ? 1 : 0;
        rawBytes += double(p.w) * p.h * comp.prec / 8.0;
    }
    const bool gray = numcomps < 3;
    opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(numcomps), parms.data(),
                                          gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (!image) return false;
    image->x0 = static_cast<OPJ_UINT32>(img->x0);
    image->y0 = static_cast<OPJ_UINT32>(img->y0);
    image->x1 = static_cast<OPJ_UINT32>(img->x1);
    image->y1 = static_cast<OPJ_UINT32>(img->y1);
    int64_t minSide = INT64_MAX;
    for (int c = 0; c < numcomps; ++c) {
        const j2k_comp_t& comp = img->comps[c];
        opj_image_comp_t& dst = image->comps[c];
        const int64_t rw = (int64_t(img->x1) - img->x0 + comp.dx - 1) / comp.dx;
        const int64_t rh = (int64_t(img->y1) - img->y0 + comp.dy - 1) / comp.dy;
        const int64_t cw = std::min<int64_t>(rw, dst.w), ch = std::min<int64_t>(rh, dst.h);
        for (int64_t y = 0; y < ch; ++y)
            std::memcpy(dst.data + y * dst.w, comp.data + y * rw, static_cast<size_t>(cw) * sizeof(int32_t));
        minSide = std::min<int64_t>({minSide, dst.w, dst.h});
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = tcp.numlayers;
    bool unlimited = false;
    for (int i = 0; i < tcp.numlayers; ++i) {
        // Byte budgets become OpenJPEG's compression ratios; a budget at or
        // above the raw size (or none) keeps every coding pass.
        double ratio = tcp.rates[i] > 0 ? rawBytes / tcp.rates[i] : 0.0;
        if (ratio <= 1.0 || unlimited) {
            ratio = 0.0;
            unlimited = true;
        }
        params.tcp_rates[i] = static_cast<float>(ratio);
    }
    params.cp_disto_alloc = 1;
    int64_t tileW = int64_t(img->x1) - img->x0, tileH = int64_t(img->y1) - img->y0;
    if (cp->tdx > 0 && cp->tdy > 0) {
        if (cp->tx0 < 0 || cp->ty0 < 0 || int64_t(cp->tx0) + cp->tdx > INT32_MAX ||
            int64_t(cp->ty0) + cp->tdy > INT32_MAX) {
            opj_image_destroy(image);
            return false;
        }
        params.tile_size_on = OPJ_TRUE;
        params.cp_tx0 = cp->tx0;
        params.cp_ty0 = cp->ty0;
        params.cp_tdx = cp->tdx;
        params.cp_tdy = cp->tdy;
        tileW = std::min<int64_t>(tileW, cp->tdx);
        tileH = std::min<int64_t>(tileH, cp->tdy);
    }
    params.prog_order = static_cast<OPJ_PROG_ORDER>(tcp.prg);
    params.csty = tcp.csty & 0x06;  // SOP and EPH; precincts come from the component record
    params.tcp_mct = (tcp.mct && numcomps >= 3) ? 1 : 0;
    // A resolution level must keep at least one sample of the smallest tile.
    int numres = tccp.numresolutions;
    while (numres > 1 && ((int64_t(1) << (numres - 1)) > std::min<int64_t>({minSide, tileW, tileH})))
        --numres;
    params.numresolution = numres;
    params.cblockw_init = 1 << tccp.cblkw;
    params.cblockh_init = 1 << tccp.cblkh;
    params.mode = tccp.cblksty & 0x3F;
    params.irreversible = tccp.qmfbid == 0 ? 1 : 0;
    if (tccp.roishift > 0) {
        params.roi_compno = 0;
        params.roi_shift = tccp.roishift;
    }
    if (tccp.csty & 1) {
        params.res_spec = numres;
        for (int i = 0; i < numres; ++i) {
            const int r = numres - 1 - i;  // OpenJPEG lists the highest resolution first
            params.prcw_init[i] = 1 << std::clamp(tccp.prcw[r], 0, 15);
            params.prch_init[i] = 1 << std::clamp(tccp.prch[r], 0, 15);
        }
    }
    // OpenJPEG takes the comment as a mutable string and only reads it.
    char comment[sizeof kComment];
    std::memcpy(comment, kComment, sizeof kComment);
    params.cp_comment = comment;

    bool ok = false;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* stream = nullptr;
    Sink sink{&out, 0, maxLength};
    if (codec) {
        SilenceCodec(codec);
        stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    }
    if (codec && stream && opj_setup_encoder(codec, &params, image)) {
        opj_stream_set_user_data(stream, &sink, nullptr);
        opj_stream_set_write_function(stream, SinkWrite);
        opj_stream_set_skip_function(stream, SinkSkip);
        opj_stream_set_seek_function(stream, SinkSeek);
        ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
             opj_end_compress(codec, stream);
    }
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (ok) {
        out.resize(sink.pos);
        MarkCommentBinary(out);
    } else {
        out.clear();
    }
    return ok && !out.empty();
}

}  // namespace imagefile
