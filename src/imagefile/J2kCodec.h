// JPEG-2000 codestreams through OpenJPEG: the layer under the j2k_* exports
// and the "j2k" file branch.
#pragma once
#include <openjpeg.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagefile/ImageCodecs.h"
#include "morvane/classifier.h"

namespace imagefile {

// Walks the markers of a raw codestream. Returns the bytes up to and
// including the end-of-codestream marker, or 0 when the stream is malformed
// or has no such marker. Older files of this system carry COD and QCD only
// in the first tile-part header; for those `fixed` receives a copy of the
// codestream with them repeated in the main header, where the standard (and
// OpenJPEG) requires them. Otherwise `fixed` is left empty.
size_t ScanJ2kCodestream(const uint8_t* data, size_t size, std::vector<uint8_t>& fixed);

// Checks the main header of a codestream against the limits before any codec
// reads it: page size, tiles, components, decoded sample memory, resolution
// levels, layers, code-block and precinct counts.
bool J2kMainHeaderAllowed(const uint8_t* data, size_t size, const DecodeLimits& limits,
                          bool pageComponentsOnly);

// One decode: header first (sizes checked against the limits), then the samples.
class J2kDecoder {
public:
    J2kDecoder() = default;
    J2kDecoder(const J2kDecoder&) = delete;
    J2kDecoder& operator=(const J2kDecoder&) = delete;
    ~J2kDecoder();

    // pageComponentsOnly: refuse, before decoding, a codestream whose
    // component count cannot become a page (anything but one or three).
    bool ReadHeader(const uint8_t* data, size_t size, const DecodeLimits& limits,
                    bool pageComponentsOnly = false);
    // After ReadHeader: the resolution levels every component can drop (the
    // fewest decomposition levels among them), and the request to decode
    // `levels` fewer (each halves the page's width and height).
    int DroppableLevels() const;
    bool DropLevels(int levels);
    bool Decode();

    // Worker threads for decoding (set before ReadHeader): 0 one per core,
    // 1 none beside the calling thread.
    int threads = 1;

    opj_image_t* image = nullptr;
    opj_codec_t* codec = nullptr;
    size_t consumed = 0;  // bytes up to and including EOC in the caller's buffer

private:
    struct Source {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t pos = 0;
    };
    opj_stream_t* stream_ = nullptr;
    std::vector<uint8_t> fixed_;
    Source source_;
};

// The body of j2k_decode with explicit limits: records are allocated once
// the header has been read and returned also when decoding then fails.
int DecodeJ2kToRecords(const uint8_t* data, size_t size, j2k_image_t** image, j2k_cp_t** cp,
                       const DecodeLimits& limits);

// Encodes the records with OpenJPEG. The codestream is SOC, SIZ, COD, QCD,
// the "Creator: J2000 codec" comment, the tiles, EOC. Fails (false) when the
// records are inconsistent or the codestream would exceed maxLength.
bool EncodeJ2kRecords(const j2k_image_t* image, const j2k_cp_t* cp, size_t maxLength,
                      std::vector<uint8_t>& out);

// Step sizes for one component as this system derives them (bands 0 ..
// 3 * numresolutions - 3), written into tccp->stepsizes.
void DeriveJ2kStepSizes(j2k_tccp_t* tccp, int prec);

// Sample to an 8-bit value: signed samples are shifted to unsigned, deeper
// samples keep their high 8 bits, shallower ones are stretched.
uint8_t J2kSampleToByte(int32_t value, int prec, bool sgnd);

}  // namespace imagefile
