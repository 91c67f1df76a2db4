#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/TextConv.h"
#include "platform/PlatformProcesses.h"

using namespace libMorvaneClassifier;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Platform, ModuleDirectoryIsExecutableDirectoryWithSlash) {
    const std::u16string dir = ModuleDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), u'/');
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    ASSERT_GT(n, 0);
    const std::string exe(buffer, static_cast<size_t>(n));
    EXPECT_EQ(Utf16ToUtf8(dir), exe.substr(0, exe.rfind('/') + 1));
}

TEST(Platform, PathsAndDirectories) {
    std::u16string p = u"D:\\t\\img\\a.jpg";
    NormalizePath(p);
    EXPECT_EQ(p, u"D:/t/img/a.jpg");
    const std::pair<std::u16string, std::u16string> dirs[] = {
        {u"D:\\t\\main.xml", u"D:\\t\\"},
        {u"/a/b/c.xml", u"/a/b/"},
        {u"main.xml", u""},
        {u"a\\b/c", u"a\\b/"},
        {u"/x", u"/"},
        {u"", u""},
    };
    for (const auto& [path, dir] : dirs) EXPECT_EQ(DirectoryOf(path), dir) << Utf16ToUtf8(path);
}

TEST(Platform, TextConversionRoundTrips) {
    const std::u16string samples[] = {u"", u"abc", u"\u00e9t\u00e9", u"\u4e2d\u6587", u"\U0001F600x"};
    for (const auto& s : samples) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
    EXPECT_EQ(AnsiText(u"\u4e2d"), "\xe4\xb8\xad");
    // Malformed input never throws and never loses the rest of the text.
    EXPECT_EQ(Utf8ToUtf16(std::string("a\xff"
                                      "b")),
              u"a\ufffd"
              u"b");
    EXPECT_EQ(Utf8ToUtf16(std::string("a\xe4\xb8")), u"a\ufffd");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"z"), "\xef\xbf\xbdz");
}

TEST(Platform, OpenFileTakesModeWithEncodingSuffix) {
    char tmpl[] = "/tmp/morvane_open_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    std::FILE* f = OpenPlatformFile(Utf8ToUtf16(tmpl), u"w+,ccs=UTF-8");
    ASSERT_NE(f, nullptr);
    std::fputs("x", f);
    std::fclose(f);
    EXPECT_EQ(ReadAll(tmpl), "x");
    EXPECT_EQ(OpenPlatformFile(u"/nonexistent/dir/file", u"r"), nullptr);
    EXPECT_EQ(OpenPlatformFile(u"", u"r"), nullptr);
    std::remove(tmpl);
}

TEST(Platform, WriteLogAppendsAndTruncates) {
    char tmpl[] = "/tmp/morvane_log_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    CPosixProcessesImpl impl;
    impl.SetModuleDirectoryForTesting(Utf8ToUtf16(std::string(tmpl) + "/"));
    const std::string log = std::string(tmpl) + "/log/dbg.log";
    impl.WriteLog("a.cpp", 1, u"one", 3);
    impl.WriteLog("a.cpp", 2, u"two", 3);
    EXPECT_EQ(ReadAll(log), "Dbg::msg:one\r\nDbg::msg:two\r\n");
    impl.WriteLog("src.cpp", 42, u"bad", 2);
    EXPECT_EQ(ReadAll(log), "Error::file:src.cpp(42) #msg:bad\r\n");
    impl.WriteLogNumber("src.cpp", 7, -5, 7);
    impl.WriteLog("s", 1, u"g", 4);
    impl.WriteLog("s", 1, u"f", 5);
    impl.WriteLog("s", 1, u"t", 6);
    EXPECT_EQ(ReadAll(log),
              "Error::file:src.cpp(42) #msg:bad\r\nDbg::___.___.___.___(4)Similarity:-5\r\n"
              "Dbg::___(1)TemplateGroup:g\r\nDbg::___.___(2)Filter:f\r\nDbg::___.___.___(3)SubTpl:t\r\n");
    std::remove(log.c_str());
    rmdir((std::string(tmpl) + "/log").c_str());
    rmdir(tmpl);
}

}  // namespace
