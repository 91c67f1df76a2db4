#include "platform/EngineFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/DynamicLibrary.h"

using namespace libMorvaneClassifier;

TEST(EngineFiles, EngineDirectoryFirstThenBesideTheModule) {
    const std::string saved = EngineDirectory();
    char dir[] = "/tmp/morvane-ef-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    EngineDirectory() = std::string(dir) + "/";

    const std::string own = OwnModuleDirectory();
    ASSERT_FALSE(own.empty());
    const auto dirs = EngineSearchDirectories();
    ASSERT_EQ(dirs.size(), 4u);
    EXPECT_EQ(dirs[0], std::string(dir) + "/");
    EXPECT_EQ(dirs[1], own);
    // An install: below the library, or from a program in <prefix>/bin.
    EXPECT_EQ(dirs[2], own + "morvane/engines/");
    EXPECT_EQ(dirs[3], own + "../" MORVANE_INSTALL_LIBDIR_NAME "/morvane/engines/");
    for (const std::string& d : dirs) EXPECT_EQ(d.front(), '/') << d;

    // This test program sits in the module directory: found there while the
    // engine directory has no file of that name, then found in the engine
    // directory once it has one.
    const std::string exe = ExecutableDirectory();
    EXPECT_EQ(exe, own);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const std::string name = std::string(self).substr(std::string(self).find_last_of('/') + 1);
    EXPECT_EQ(FindEngineFile(name), own + name);
    const std::string local = std::string(dir) + "/" + name;
    FILE* f = std::fopen(local.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(FindEngineFile(name), local);
    EXPECT_EQ(FindEngineFile("no-such-engine-file"), "");
    EXPECT_EQ(FindEngineFile(""), "");
    unlink(local.c_str());

    // An empty engine directory is filled with the executable's directory.
    EngineDirectory().clear();
    EXPECT_EQ(EnsureEngineDirectory(), exe);
    EngineDirectory() = saved;
    rmdir(dir);
}
