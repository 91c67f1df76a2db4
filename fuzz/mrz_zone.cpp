// Fuzzes the machine-readable zone reader: the bytes are the zone's text
// (byte 0 bit 0 set: the rest is UTF-16LE, else one character per byte).
// Whatever the text, the reader answers with a layout, a JSON object and a
// verdict that agrees with its errors and fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/MachineReadableZone.h"

using namespace libMorvaneClassifier;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::u16string text;
    if (data[0] & 1) {
        for (size_t i = 1; i + 1 < size; i += 2) text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
    } else {
        for (size_t i = 1; i < size; ++i) text.push_back(char16_t(data[i]));
    }
    const MrzZone z = ParseMrz(text);
    if (z.valid && (!z.errors.empty() || !z.fieldsRead)) __builtin_trap();
    if (!z.valid && z.errors.empty()) __builtin_trap();
    if (z.fieldsRead && z.lines.size() != (z.layout == MrzLayout::kTD1 ? 3u : 2u)) __builtin_trap();
    if (z.lines.size() > 3) __builtin_trap();
    const std::string json = MrzZoneJson(z);
    if (json.empty() || json.front() != '{' || json.back() != '}') __builtin_trap();
    (void)MrzCheckDigit(text);
    return 0;
}
