// How morvane-classify writes what it found: text that no file name,
// template name or message can forge, and JSON that is always valid UTF-8.
#pragma once

#include <string>

namespace morvane_cli {

// One field of a plain output line. Well-formed UTF-8 is kept as it is,
// except that a backslash becomes "\\", tab, line feed and carriage return
// become "\t", "\n" and "\r", and any other control character (C0, DEL and
// the C1 range U+0080 to U+009F) becomes "\xNN" (NN its code in hex, two
// digits; C1 as "\u0080" to "\u009f"). A byte that is not part of
// well-formed UTF-8 becomes "\xNN". A field thus never holds a tab or a line
// break, and its bytes can be read back from the escapes.
std::string EscapeField(const std::string& bytes);

// A quoted JSON string for bytes that need not be UTF-8 (file names):
// well-formed UTF-8 is kept, quotes, backslashes and control characters are
// escaped, and each byte that is not part of well-formed UTF-8 is written as
// the escape "\udcNN" (U+DC80 to U+DCFF, a lone surrogate: the convention of
// Python's "surrogateescape", so os.fsencode turns the string back into the
// file name's bytes). The output is ASCII-safe, valid UTF-8.
std::string JsonBytes(const std::string& bytes);

// The length of the well-formed UTF-8 sequence at bytes[at], or 0 when the
// byte there does not start one.
size_t Utf8SequenceLength(const std::string& bytes, size_t at);

}  // namespace morvane_cli
