#include <gtest/gtest.h>

#include <string>

#include "api/ApiTestUtil.h"

namespace {

std::u16string Message(int code) {
    int n = 0;
    EXPECT_EQ(GetErrorMsg(code, nullptr, &n), -61);
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    EXPECT_EQ(GetErrorMsg(code, reinterpret_cast<MorvaneChar*>(&buffer[0]), &n), 0);
    buffer.resize(static_cast<size_t>(n - 1));
    return buffer;
}

TEST(Messages, StringOutProtocol) {
    MorvaneChar buffer[32];
    int n = 18;
    EXPECT_EQ(GetErrorMsg(-61, buffer, &n), 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer)), U("Invalid parameter"));
    n = 17;
    buffer[0] = u'X';
    EXPECT_EQ(GetErrorMsg(-61, buffer, &n), -62);
    EXPECT_EQ(n, 18);
    EXPECT_EQ(buffer[0], u'X');
    n = 0;
    EXPECT_EQ(GetErrorMsg(-61, nullptr, &n), -61);
    EXPECT_EQ(n, 18);
}

TEST(Messages, OutOfRangeAndEmpty) {
    MorvaneChar buffer[8];
    for (int code : {64, -64, 1000, -2147483647 - 1}) {
        int n = 8;
        EXPECT_EQ(GetErrorMsg(code, buffer, &n), -61) << code;
        EXPECT_EQ(n, 0) << code;
    }
    int n = 8;
    EXPECT_EQ(GetErrorMsg(30, buffer, &n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(buffer[0], 0);
}

TEST(Messages, Table) {
    const std::pair<int, const char*> table[] = {
        {0, "Success"},
        {-2, "Failed to read device file"},
        {-3, "Failed to open capture device"},
        {-4, "Failed to read main template"},
        {-5, "Failed to save main template"},
        {-6, "Failed to read filter template"},
        {-7, "Failed to save filter template"},
        {-8, "Failed to classify image"},
        {-9, "Failed to extract feature"},
        {-10, "Failed to analyze text line"},
        {-11, "Failed to segment chars"},
        {-12, "Failed to read subtemplate"},
        {-13, "Failed to save subtemplate"},
        {-14, "Failed to dynamic merge chars"},
        {-15, "Failed to extract line"},
        {-16, "Failed to read image file"},
        {-17, "Failed to save images"},
        {-18, "Failed to capture images"},
        {-19, "This device is out of paper"},
        {-56, "Invalid classifier handle"},
        {-58, "Order of calling Function error"},
        {-59, "Not support this function"},
        {-60, "Uninitialized"},
        {-61, "Invalid parameter"},
        {-62, "Not enough memory"},
        {-63, "Undefined error"},
        {-1, ""},
        {-20, ""},
        {-57, ""},
    };
    for (const auto& [code, text] : table) {
        EXPECT_EQ(Message(code), U(text)) << code;
        EXPECT_EQ(Message(-code), U(text)) << -code;
    }
}

TEST(Messages, Version) {
    // The exported version is the build's one version (CMakeLists.txt):
    // four dot-separated numbers.
    const std::string expected = MORVANE_VERSION;
    const int size = static_cast<int>(expected.size()) + 1;
    int dots = 0;
    for (char c : expected) {
        ASSERT_TRUE(c == '.' || (c >= '0' && c <= '9')) << expected;
        dots += c == '.';
    }
    EXPECT_EQ(dots, 3) << expected;
    MorvaneChar buffer[32];
    ASSERT_LT(size, 32);
    int n = 0;
    EXPECT_EQ(GetSDKVersion(nullptr, &n), -61);
    EXPECT_EQ(n, size);
    n = 32;
    EXPECT_EQ(GetSDKVersion(buffer, &n), 0);
    EXPECT_EQ(n, size);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer)),
              std::u16string(expected.begin(), expected.end()));
    n = 4;
    EXPECT_EQ(GetSDKVersion(buffer, &n), -62);
    EXPECT_EQ(n, size);
}

}  // namespace
