// File names through UTF-16 without loss: bytes that are not UTF-8 travel as
// lone surrogates U+DC80-U+DCFF and come back as the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "core/TextConv.h"

namespace {

using libMorvaneClassifier::PathBytesToUtf16;
using libMorvaneClassifier::Utf16ToPathBytes;

TEST(PathBytes, RoundTripsAnyBytes) {
    struct Case {
        std::string bytes;
        std::u16string wide;
    };
    const Case cases[] = {
        {"plain/name.png", u"plain/name.png"},
        {"caf\xc3\xa9.jpg", u"caf\u00e9.jpg"},      // well-formed UTF-8 kept
        {"latin1-\xe9.jpg", u"latin1-\xdce9.jpg"},  // a lone Latin-1 byte
        {"\xff\xfe", u"\xdcff\xdcfe"},
        {"\xc0\xaf", u"\xdcc0\xdcaf"},            // overlong '/' is not a slash
        {"\xed\xa0\x80", u"\xdced\xdca0\xdc80"},  // an encoded surrogate
        {"\xe2\x82", u"\xdce2\xdc82"},            // cut short
        {"\xf0\x9f\x98\x80", u"\xd83d\xde00"},    // outside the BMP
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(PathBytesToUtf16(c.bytes), c.wide);
        EXPECT_EQ(Utf16ToPathBytes(c.wide), c.bytes);
    }
    // Every single byte value, and every pair, comes back as it went.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 17) {
            const std::string bytes{static_cast<char>(a), static_cast<char>(b), 'x'};
            ASSERT_EQ(Utf16ToPathBytes(PathBytesToUtf16(bytes)), bytes) << a << " " << b;
        }
    }
}

TEST(PathBytes, OtherLoneSurrogatesAreReplaced) {
    // Only U+DC80-U+DCFF stand for bytes; a surrogate pair whose low half is
    // in that range is a character, not two bytes.
    EXPECT_EQ(Utf16ToPathBytes(u"\xd800x"), "\xef\xbf\xbdx");
    EXPECT_EQ(Utf16ToPathBytes(u"\xdc10"), "\xef\xbf\xbd");
    EXPECT_EQ(Utf16ToPathBytes(u"\xd800\xdc80"), "\xf0\x90\x82\x80");
}

}  // namespace
