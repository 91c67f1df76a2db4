// UTF-16 <-> UTF-8 conversion used wherever internal UTF-16 text meets the
// narrow text of the C runtime and the operating system (UTF-8 on Linux).
#pragma once
#include <string>

namespace libMorvaneClassifier {

// Converts UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
// Converts UTF-8 to UTF-16. Malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
// File names are bytes that need not be UTF-8. These two carry them through
// UTF-16 without loss: each byte that is not part of well-formed UTF-8
// becomes the lone surrogate U+DC80 + (byte - 0x80) (the convention of
// Python's "surrogateescape"), and such a lone surrogate turns back into its
// byte. Other lone surrogates become U+FFFD as in Utf16ToUtf8.
std::u16string PathBytesToUtf16(const std::string& bytes);
std::string Utf16ToPathBytes(const std::u16string& path);
// Plain ASCII literal to UTF-16 (for messages and names built in code).
std::u16string AsciiToUtf16(const char* text);
// Appends `text` (UTF-8) as a quoted JSON string: quotes, backslashes and
// control characters escaped, everything else kept as it is.
void AppendJsonString(std::string& out, const std::string& text);
// The same as a new string.
std::string JsonString(const std::string& text);

}  // namespace libMorvaneClassifier
