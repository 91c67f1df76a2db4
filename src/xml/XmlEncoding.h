// Byte-level side of the XML document: how the bytes of a file become UTF-16
// text (byte-order marks, declared encodings, the UTF-8 test, the ANSI code
// page), the table of character-set names with their Windows code pages, and
// the way back from text to bytes when a document is saved.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace libMorvaneClassifier {
namespace xmlenc {

// Code page numbers with a meaning of their own in the conversions.
constexpr int kCodePageUtf16LE = 1200;
constexpr int kCodePageUtf16BE = 1201;
constexpr int kCodePageUtf32LE = 12000;
constexpr int kCodePageUtf32BE = 12001;
constexpr int kCodePageUtf8 = 65001;

// Windows code page of a character-set name (IANA names and the usual
// aliases, compared without regard to ASCII case and surrounding blanks);
// 0 when the name is unknown.
int CodePageOfCharset(const std::string& name);
int CodePageOfCharset(const std::u16string& name);

// Number of names in the character-set table (for checks over the table).
size_t CharsetTableSize();
// Entry i of the table: name and code page.
const char* CharsetTableName(size_t i);
int CharsetTableCodePage(size_t i);

// Name under which glibc's iconv knows a code page, with a second choice
// for the converters that some C libraries spell differently; nullptr when
// no converter is known.
const char* IconvNameOfCodePage(int codePage);
const char* IconvAlternativeNameOfCodePage(int codePage);

// True when every byte sequence is well-formed UTF-8 (no overlong forms,
// no surrogates, nothing above U+10FFFF, no stray continuation bytes).
bool IsValidUtf8(const uint8_t* data, size_t size);

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
void DecodeUtf8(const uint8_t* data, size_t size, std::u16string& out);

// Converts bytes in a code page to UTF-16 through iconv. With strict set,
// any invalid or incomplete sequence makes the call fail; otherwise each
// offending byte becomes U+FFFD. False also when no converter exists.
bool DecodeCodePage(const uint8_t* data, size_t size, int codePage, bool strict, std::u16string& out);

// Result of turning file bytes into text.
struct DecodedText {
    std::u16string text;
    // "UTF-8", "UTF-16LE", "UTF-16BE", the declared name, or empty for the
    // ANSI code page.
    std::u16string encoding;
    bool byteOrderMark = false;
};

// Encoding detection and conversion of a whole file's content:
//  - a byte-order mark (EF BB BF, FF FE, FE FF) decides and is skipped;
//  - UTF-16 without a mark is recognised by the zero byte beside the first
//    character ("<" or white space);
//  - otherwise the encoding declared in the XML declaration or an HTML
//    meta Content-Type is used; an undeclared document starting with "<"
//    is UTF-8; anything else is UTF-8 when it passes the UTF-8 test and the
//    ANSI code page otherwise;
//  - zero bytes (zero code units in UTF-16) are dropped.
// A decoding error never loses the document: a declared encoding that does
// not fit the bytes gives way to UTF-8 when the bytes are valid UTF-8, and
// is otherwise applied with U+FFFD for each undecodable byte.
void DecodeDocumentBytes(const uint8_t* data, size_t size, DecodedText& out);

// The encoding named in the XML declaration at the start of text (empty
// when there is none).
std::u16string DeclaredEncodingOfText(const std::u16string& text);

// Converts text to bytes in the named encoding (empty name = the ANSI code
// page; unknown name = UTF-8), with a byte-order mark when asked and the
// encoding has one. Characters the target cannot represent are written as
// decimal character references so that nothing is lost. False only when no
// converter can be opened for a known code page and UTF-8 is not possible.
bool EncodeText(const std::u16string& text, const std::u16string& encoding, bool byteOrderMark,
                std::string& out);

}  // namespace xmlenc
}  // namespace libMorvaneClassifier
