// Test corpora kept outside the project (PngSuite and others). A fresh clone
// without them still passes: tests that need them skip and say why. CI sets
// MORVANE_REQUIRE_SHARED=1, which turns their absence into a failure.
// MORVANE_SHARED_DIR in the environment overrides the folder found at build
// time (a checkout in another place).
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace morvane_test {

inline std::string SharedDir() {
    const char* env = std::getenv("MORVANE_SHARED_DIR");
    return env && *env ? std::string(env) : std::string(MORVANE_SHARED_DIR);
}

inline std::string SharedPath(const std::string& relative) { return SharedDir() + "/" + relative; }

inline bool SharedDataRequired() {
    const char* env = std::getenv("MORVANE_REQUIRE_SHARED");
    return env && std::strcmp(env, "1") == 0;
}

inline bool SharedPathExists(const std::string& relative) {
    struct stat st;
    return ::stat(SharedPath(relative).c_str(), &st) == 0;
}

}  // namespace morvane_test

// Skips the current test (or fails it when MORVANE_REQUIRE_SHARED=1) when the
// shared corpus folder `relative` is absent.
#define MORVANE_NEED_SHARED_DATA(relative)                                                           \
    do {                                                                                             \
        if (!::morvane_test::SharedPathExists(relative)) {                                           \
            if (::morvane_test::SharedDataRequired())                                                \
                FAIL() << "shared test data missing: " << ::morvane_test::SharedPath(relative);      \
            GTEST_SKIP() << "shared test data not present (" << ::morvane_test::SharedPath(relative) \
                         << "); set MORVANE_SHARED_DIR to its folder";                               \
        }                                                                                            \
    } while (0)
