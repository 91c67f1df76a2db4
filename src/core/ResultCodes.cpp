#include "core/ResultCodes.h"

#include <algorithm>

namespace libMorvaneClassifier {

const char* ErrorMessage(int absCode) {
    static const char* const kMessages[64] = {
        "Success",
        "",
        "Failed to read device file",
        "Failed to open capture device",
        "Failed to read main template",
        "Failed to save main template",
        "Failed to read filter template",
        "Failed to save filter template",
        "Failed to classify image",
        "Failed to extract feature",
        "Failed to analyze text line",
        "Failed to segment chars",
        "Failed to read subtemplate",
        "Failed to save subtemplate",
        "Failed to dynamic merge chars",
        "Failed to extract line",
        "Failed to read image file",
        "Failed to save images",
        "Failed to capture images",
        "This device is out of paper",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",  // 20-29
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",  // 30-39
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",  // 40-49
        "",
        "",
        "",
        "",
        "",
        "",  // 50-55
        "Invalid classifier handle",
        "",
        "Order of calling Function error",
        "Not support this function",
        "Uninitialized",
        "Invalid parameter",
        "Not enough memory",
        "Undefined error",
    };
    if (absCode < 0 || absCode > 63) return "";
    return kMessages[absCode];
}

int CopyTextOut(const std::u16string& text, char16_t* buffer, int* length) {
    const int offered = *length;
    const int needed = static_cast<int>(text.size()) + 1;
    *length = needed;
    if (!buffer) return kErrInvalidParameter;
    if (offered < needed) return kErrNoMemory;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return kSuccess;
}

}  // namespace libMorvaneClassifier
