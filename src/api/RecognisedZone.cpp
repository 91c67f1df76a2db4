// The recognised lines of the last classification read as a machine-readable
// zone and decoded with the engine's candidates per character
// (MorvaneGetRecognisedZone), and any text decoded as a zone
// (MorvaneDecodeMrz).
#include <new>

#include "api/Classifier.h"
#include "core/MrzDecoder.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "morvane/classifier.h"

namespace libMorvaneClassifier {

int CClassifier::GetRecognisedZone(char16_t* buffer, int* length) {
    if (!loaded_) return kErrUninitialized;
    if (!length) return kErrInvalidParameter;
    if (!haveTrace_) {
        *length = 0;
        return kErrCallOrder;
    }
    const std::vector<RecognisedLine> lines = RecognisedLines();
    std::u16string text;
    MrzCandidates candidates;
    for (const RecognisedLine& l : lines) {
        if (!text.empty()) text.push_back(u'\n');
        text += l.text;
        candidates.push_back(l.candidates);
    }
    return CopyTextOut(Utf8ToUtf16(MrzDecodedJson(DecodeMrz(text, &candidates))), buffer, length);
}

}  // namespace libMorvaneClassifier

extern "C" {

MORVANE_API int MORVANE_CALL MorvaneGetRecognisedZone(MorvaneChar* buffer, int* length) {
    try {
        return libMorvaneClassifier::TheClassifier().GetRecognisedZone(reinterpret_cast<char16_t*>(buffer),
                                                                       length);
    } catch (const std::bad_alloc&) {
        return libMorvaneClassifier::kErrNoMemory;
    } catch (...) {
        return libMorvaneClassifier::kErrUndefined;
    }
}

MORVANE_API int MORVANE_CALL MorvaneDecodeMrz(const MorvaneChar* zone, MorvaneChar* buffer, int* length) {
    using namespace libMorvaneClassifier;
    try {
        if (!zone || !length) return kErrInvalidParameter;
        // A zone is three short lines; text beyond this is not read.
        constexpr size_t kMaxZoneText = 1u << 16;
        const char16_t* text = reinterpret_cast<const char16_t*>(zone);
        size_t n = 0;
        while (n <= kMaxZoneText && text[n]) ++n;
        if (n > kMaxZoneText) {
            *length = 0;
            return kErrInvalidParameter;
        }
        return CopyTextOut(Utf8ToUtf16(MrzDecodedJson(DecodeMrz(std::u16string(text, n)))),
                           reinterpret_cast<char16_t*>(buffer), length);
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (...) {
        return kErrUndefined;
    }
}

}  // extern "C"
