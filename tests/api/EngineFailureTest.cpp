// A text filter whose engine cannot start fails the page with a code and a
// detail naming the engine's file, instead of letting the page pass for the
// coarser class a default branch leads to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ApiTestUtil.h"

namespace {

std::string Text(int (*getter)(MorvaneChar*, int*)) {
    int length = 0;
    getter(nullptr, &length);
    if (length <= 0) return "";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (getter(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != MORVANE_OK) return "";
    std::string out;
    for (char16_t c : buffer.substr(0, buffer.size() - 1))
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

TEST(EngineFailure, BrokenEngineFailsThePageAndSaysWhy) {
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / ("morvane_engines_" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(MORVANE_SOURCE_DIR "/examples/workdir", work, fs::copy_options::recursive);
    // Files in the working directory come first: these are not libraries.
    for (const char* name : {"libGrayCore.so", "libPrintedLine.so"})
        std::ofstream(work / name) << "not a library";

    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png";
    const std::string dir = work.string() + "/";
    ASSERT_EQ(LoadClassifier(nullptr, W(U(dir.c_str()))), MORVANE_OK);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/text.xml")), &index), MORVANE_OK);
    ASSERT_EQ(SetPixelResolution(300, 300, index), MORVANE_OK);
    // The check before a batch names the same cause.
    EXPECT_EQ(MorvaneCheckEngines(-1), MORVANE_ERR_EXTRACT_FEATURE);
    EXPECT_NE(Text(MorvaneGetLastErrorDetail).find("cannot be loaded"), std::string::npos);
    EXPECT_EQ(MorvaneCheckEngines(index + 1), MORVANE_ERR_INVALID_PARAMETER);
    for (int attempt = 0; attempt < 2; ++attempt) {  // the failure stays the same on later pages
        SCOPED_TRACE(attempt);
        EXPECT_EQ(ClassifyImageFile(W(U(page.c_str())), index), MORVANE_ERR_EXTRACT_FEATURE);
        const std::string detail = Text(MorvaneGetLastErrorDetail);
        EXPECT_NE(detail.find("text filter "), std::string::npos) << detail;
        EXPECT_NE(detail.find(dir), std::string::npos) << detail;
        EXPECT_NE(detail.find("cannot be loaded"), std::string::npos) << detail;
        const std::string trace = Text(MorvaneGetDecisionTrace);
        EXPECT_NE(trace.find("\"code\":-9,\"detail\":\"text filter"), std::string::npos)
            << trace.substr(0, 400);
        EXPECT_NE(trace.find("\"result\":null"), std::string::npos);
    }
    FreeClassifier();

#if defined(MORVANE_HAVE_ENGINES)
    // Under a working directory without the broken files the engines start.
    ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), MORVANE_OK);
    ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/text.xml")), &index), MORVANE_OK);
    ASSERT_EQ(SetPixelResolution(300, 300, index), MORVANE_OK);
    EXPECT_EQ(MorvaneCheckEngines(index), MORVANE_OK);
    EXPECT_EQ(ClassifyImageFile(W(U(page.c_str())), index), MORVANE_OK);
    EXPECT_EQ(Text(GetTemplateID), "TEXT-PASSPORT");
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail), "");
    FreeClassifier();
#endif
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

}  // namespace
