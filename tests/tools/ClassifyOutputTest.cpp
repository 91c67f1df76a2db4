// What morvane-classify prints: fields that no name can forge and JSON that
// is valid UTF-8 whatever bytes a file name holds.
#include <gtest/gtest.h>

#include <string>

#include "classify_output.h"

namespace {

using morvane_cli::EscapeField;
using morvane_cli::JsonBytes;

TEST(ClassifyOutput, FieldsHoldNoTabsOrLineBreaks) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"plain.png", "plain.png"},
        {"evil\tPASSPORT\tforged\tTD3\nx.jpg", "evil\\tPASSPORT\\tforged\\tTD3\\nx.jpg"},
        {"back\\slash", "back\\\\slash"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"cr\rdel\x7f", "cr\\rdel\\x7f"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},    // UTF-8 kept
        {"c1\xc2\x85", "c1\\u0085"},       // NEL, a C1 line break
        {"latin1-\xe9", "latin1-\\xe9"},   // not UTF-8
        {"\xe2\x80\xa8", "\xe2\x80\xa8"},  // U+2028 is printable text in a terminal
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeField(c.in), c.out) << c.in;
        EXPECT_EQ(EscapeField(c.in).find_first_of("\t\n\r"), std::string::npos);
    }
}

TEST(ClassifyOutput, JsonIsValidUtf8) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\"b", "\"a\\\"b\""},
        {"tab\there\nnl", "\"tab\\there\\nnl\""},
        {"\x1b", "\"\\u001b\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
        {"latin1-\xe9.jpg", "\"latin1-\\udce9.jpg\""},
        {"\xff\xc0\xaf", "\"\\udcff\\udcc0\\udcaf\""},
        {"\xc2\x9b", "\"\\u009b\""},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonBytes(c.in), c.out) << c.in;
    // Whatever the bytes, every byte of the output lies in well-formed UTF-8.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string json = JsonBytes(all + all.substr(128) + "\xe2\x82");
    for (size_t i = 0; i < json.size();) {
        const size_t n = morvane_cli::Utf8SequenceLength(json, i);
        ASSERT_GT(n, 0u) << "at " << i;
        i += n;
    }
}

}  // namespace
