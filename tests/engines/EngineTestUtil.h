// Shared set-up of the engine tests: a temporary engine directory, engine
// file names pointed at test libraries, and a fresh engine manager.
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engines/EngineSettings.h"
#include "engines/GeneralRecog.h"
#include "image/Dib.h"
#include "platform/DynamicLibrary.h"

namespace engine_test {

using namespace libMorvaneClassifier;

inline std::string FakePath(const char* name) {
    return std::string(MORVANE_FAKE_ENGINE_DIR) + "/lib" + name + ".so";
}

// Reads a value a test library recorded.
inline int32_t FakeValue(const char* name, int i) {
    void* h = dlopen(FakePath(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -999;
    auto get = reinterpret_cast<int32_t (*)(int)>(dlsym(h, "Fake_Get"));
    int32_t v = get ? get(i) : -998;
    dlclose(h);
    return v;
}

class EngineDirFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/morvane-engines-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        savedDir_ = EngineDirectory();
        EngineDirectory() = dir_ + "/";
        ResetGeneralRecog();
    }
    void TearDown() override {
        ResetGeneralRecog();
        for (int r = 0; r < static_cast<int>(EngineRole::Count); ++r)
            SetEngineFileName(static_cast<EngineRole>(r), std::string());
        EngineDirectory() = savedDir_;
        for (const std::string& f : files_) unlink(f.c_str());
        rmdir(dir_.c_str());
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        files_.push_back(path);
    }
    std::string dir_;
    std::string savedDir_;
    std::vector<std::string> files_;
};

// A gray page filled with one level.
inline void MakeGray(CRawImage& image, int w, int h, uint8_t level) {
    ASSERT_EQ(image.Create(w, h, 8, 300), 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.Row(y)[x] = level;
}

}  // namespace engine_test
