#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using namespace libMorvaneClassifier;

TEST(DynamicLibrary, MapsLibraryNamesToSharedObjects) {
    struct Case {
        const char* name;
        const char* file;
    } cases[] = {
        {"GrayCore.dll", "libGrayCore.so"},
        {"FORMKERNEL.DLL", "libFORMKERNEL.so"},
        {"libtwain.so", "libtwain.so"},
        {"libsane.so.1", "libsane.so.1"},
        {"scanner", "libscanner.so"},
        {"libFoo.dll", "libFoo.so"},
        {"sub\\Engine.dll", "sub/libEngine.so"},
        {"a.social.dll", "liba.social.so"},
    };
    for (const Case& c : cases) EXPECT_EQ(PlatformLibraryFileName(c.name), c.file) << c.name;
    EXPECT_EQ(JoinPath("/opt/e", "libX.so"), "/opt/e/libX.so");
    EXPECT_EQ(JoinPath("/opt/e/", "libX.so"), "/opt/e/libX.so");
    EXPECT_EQ(JoinPath("", "libX.so"), "libX.so");
    EXPECT_EQ(JoinPath("/opt/e", "/abs/libX.so"), "/abs/libX.so");
}

TEST(DynamicLibrary, RefusesWhatIsNotALoadableRegularFile) {
    char dir[] = "/tmp/morvane-dl-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string fifo = std::string(dir) + "/libFifo.so";
    std::string text = std::string(dir) + "/libText.so";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    FILE* f = fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("not a shared object", f);
    fclose(f);

    CDynamicLibrary lib;
    EXPECT_FALSE(lib.Open(dir, "Fifo.dll"));  // would block in a reader
    EXPECT_FALSE(lib.Open(dir, "Text.dll"));  // not ELF
    EXPECT_FALSE(lib.Open(dir, "Missing.dll"));
    EXPECT_FALSE(lib.OpenPath(dir));  // a directory
    EXPECT_FALSE(lib.IsOpen());
    EXPECT_EQ(lib.Symbol("anything"), nullptr);

    unlink(fifo.c_str());
    unlink(text.c_str());
    rmdir(dir);
}

TEST(DynamicLibrary, ResolvesSymbolsOfARealLibrary) {
    // The C runtime's maths library is present on every system this builds on.
    CDynamicLibrary lib;
    ASSERT_TRUE(lib.OpenPath("/lib/x86_64-linux-gnu/libm.so.6") ||
                lib.OpenPath("/usr/lib/x86_64-linux-gnu/libm.so.6") || lib.OpenPath("/lib64/libm.so.6"));
    auto cosine = lib.Function<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(lib.Symbol("no_such_symbol_here"), nullptr);
    CDynamicLibrary moved(std::move(lib));
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(lib.IsOpen());
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
}
