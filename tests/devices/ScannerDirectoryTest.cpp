#include <gtest/gtest.h>

#include <string>

#include "devices/DevScanner.h"
#include "platform/EngineFiles.h"

using namespace libMorvaneClassifier;

// Without a fixed directory configured, the scanner plug-ins are looked for
// relative to the module that holds the library code (here the test
// program): a build tree or an install may be moved, and no build path is
// compiled in.
TEST(ScannerDirectory, FoundRelativeToTheModule) {
    const std::string own = OwnModuleDirectory();
    ASSERT_FALSE(own.empty());
    const std::string dir = ScannerSystemDirectory();
    EXPECT_EQ(dir.compare(0, own.size(), own), 0) << dir << " is not below " << own;
    const std::string rest = dir.substr(own.size());
    EXPECT_TRUE(rest == "plugins" || rest == "morvane/scanners" ||
                rest == "../" MORVANE_INSTALL_LIBDIR_NAME "/morvane/scanners")
        << rest;
}
