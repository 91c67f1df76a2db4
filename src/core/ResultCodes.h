// Result codes of the exported functions and their messages.
#pragma once
#include <string>

namespace libMorvaneClassifier {

enum ResultCode : int {
    kSuccess = 0,
    kErrReadDeviceFile = -2,
    kErrOpenDevice = -3,
    kErrReadMainTemplate = -4,
    kErrSaveMainTemplate = -5,
    kErrReadFilterTemplate = -6,
    kErrSaveFilterTemplate = -7,
    kErrClassify = -8,
    kErrExtractFeature = -9,
    kErrAnalyzeTextLine = -10,
    kErrSegmentChars = -11,
    kErrReadSubTemplate = -12,
    kErrSaveSubTemplate = -13,
    kErrMergeChars = -14,
    kErrExtractLine = -15,
    kErrReadImage = -16,
    kErrSaveImages = -17,
    kErrCapture = -18,
    kErrNoPaper = -19,
    kErrInvalidHandle = -56,
    kErrCallOrder = -58,
    kErrNotSupported = -59,
    kErrUninitialized = -60,
    kErrInvalidParameter = -61,
    kErrNoMemory = -62,
    kErrUndefined = -63,
};

// Message for |code| (0..63); empty for numbers without a message.
const char* ErrorMessage(int absCode);

// The string-out protocol of the text getters: *length becomes the text's
// length plus one; null buffer -> -61; buffer shorter than needed -> -62;
// otherwise the text and its terminator are copied and 0 is returned.
int CopyTextOut(const std::u16string& text, char16_t* buffer, int* length);

}  // namespace libMorvaneClassifier
