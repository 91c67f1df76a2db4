// Character references and escaping of XML text and attribute values.
#pragma once
#include <cstdint>
#include <string>

namespace libMorvaneClassifier {
namespace xmlent {

// Code point of a named character entity (HTML 4 names plus "apos"); the
// name is tried as written, then with ASCII capitals folded to small
// letters. 0 when unknown.
uint32_t LookUpEntity(const char16_t* name, size_t length);

// Appends [begin, end) to out with character references replaced: "&"
// followed by at most 9 characters and ";" holding "#" and decimal digits,
// "#x" and hexadecimal digits, or an entity name. A reference that is too
// long, unknown, zero or not a Unicode scalar value is kept as written.
void AppendDecoded(const char16_t* begin, const char16_t* end, std::u16string& out);

// Escapes "<", "&" and ">" (and, for attribute values, both quotes).
std::u16string EscapeText(const std::u16string& text);
std::u16string EscapeAttribute(const std::u16string& value);

}  // namespace xmlent
}  // namespace libMorvaneClassifier
