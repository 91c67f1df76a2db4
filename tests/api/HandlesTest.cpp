// Classifier handles: independent classifiers beside the default instance,
// each with its own templates, settings, results and failure detail, usable
// from their own threads at the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "api/ApiTestUtil.h"

namespace {

const std::string kExamples = MORVANE_SOURCE_DIR "/examples/";

using HandleText = int (*)(MorvaneClassifier*, MorvaneChar*, int*);

// The text a handle's getter answers, or "code N" when it fails.
std::string Read(HandleText getter, MorvaneClassifier* handle) {
    int n = 0;
    const int sized = getter(handle, nullptr, &n);
    if (sized != MORVANE_ERR_INVALID_PARAMETER) return "code " + std::to_string(sized);
    if (n <= 0) return "code length " + std::to_string(n);
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    const int code = getter(handle, reinterpret_cast<MorvaneChar*>(&buffer[0]), &n);
    if (code != MORVANE_OK) return "code " + std::to_string(code);
    std::string out;
    for (size_t i = 0; i + 1 < static_cast<size_t>(n); ++i) out.push_back(static_cast<char>(buffer[i]));
    return out;
}

// A handle made on the examples' working directory, destroyed at the end.
class Handle {
public:
    Handle() { created_ = MorvaneClassifierCreate(W(U((kExamples + "workdir/").c_str())), &handle_); }
    ~Handle() {
        if (handle_) MorvaneClassifierDestroy(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int created() const { return created_; }
    MorvaneClassifier* get() const { return handle_; }
    int Add(const std::string& mainTemplate) {
        int index = -1;
        const int code =
            MorvaneClassifierAddMainTemplate(handle_, W(U((kExamples + mainTemplate).c_str())), &index);
        return code == MORVANE_OK ? index : code;
    }
    // The ID the page file is classified as, or "code N".
    std::string Classify(const std::string& page, int index) {
        const int code = MorvaneClassifierClassifyImageFile(handle_, W(U((kExamples + page).c_str())), index);
        return code == MORVANE_OK ? Read(MorvaneClassifierGetTemplateID, handle_)
                                  : "code " + std::to_string(code);
    }

private:
    MorvaneClassifier* handle_ = nullptr;
    int created_ = -1;
};

TEST(Handles, CreateRefusesANullOutPointer) {
    EXPECT_EQ(MorvaneClassifierCreate(nullptr, nullptr), MORVANE_ERR_INVALID_PARAMETER);
}

// Every function answers the handle code for a null handle, a value never
// handed out and a destroyed handle, and leaves the outputs it was given
// alone; a destroyed handle cannot be destroyed again.
TEST(Handles, InvalidAndDestroyedHandlesAnswerTheirCode) {
    MorvaneClassifier* destroyed = nullptr;
    ASSERT_EQ(MorvaneClassifierCreate(W(U((kExamples + "workdir/").c_str())), &destroyed), MORVANE_OK);
    ASSERT_NE(destroyed, nullptr);
    ASSERT_EQ(MorvaneClassifierDestroy(destroyed), MORVANE_OK);
    EXPECT_EQ(MorvaneClassifierDestroy(destroyed), MORVANE_ERR_INVALID_HANDLE);
    // A live handle whose value is not the destroyed one's: values are not reused.
    Handle live;
    ASSERT_EQ(live.created(), MORVANE_OK);
    ASSERT_NE(live.get(), destroyed);

    MorvaneClassifier* made_up = reinterpret_cast<MorvaneClassifier*>(static_cast<uintptr_t>(0x7fff1234));
    const std::u16string page = U((kExamples + "pages/300dpi/A5_page.jpg").c_str());
    for (MorvaneClassifier* bad : {static_cast<MorvaneClassifier*>(nullptr), made_up, destroyed}) {
        int index = 77, n = 77, score = 77, margin = 77;
        EXPECT_EQ(MorvaneClassifierAddMainTemplate(bad, W(page), &index), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(index, 77);
        EXPECT_EQ(MorvaneClassifierClassifyImageFile(bad, W(page), 0), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierClassifyImageFilePage(bad, W(page), 0, 0), MORVANE_ERR_INVALID_HANDLE);
        const unsigned char bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(MorvaneClassifierClassifyEncodedImage(bad, bytes, 4, 0, 0), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierSetPixelResolution(bad, 300, 300, 0), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierSetOrientationSearch(bad, 1), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierGetTemplateID(bad, nullptr, &n), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierGetLastErrorDetail(bad, nullptr, &n), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(MorvaneClassifierGetDecisionMargin(bad, &score, &margin), MORVANE_ERR_INVALID_HANDLE);
        EXPECT_EQ(n, 77);
        EXPECT_EQ(score, 77);
        EXPECT_EQ(MorvaneClassifierDestroy(bad), MORVANE_ERR_INVALID_HANDLE);
    }
    // The live handle is untouched by all of that.
    EXPECT_EQ(live.Add("templates/main.xml"), 0);
    EXPECT_EQ(live.Classify("pages/300dpi/A5_page.jpg", 0), "A5");
}

// Two handles and the default instance: templates, results, settings and
// failure details stay with the classifier they belong to.
TEST(Handles, KeepTheirOwnTemplatesResultsAndErrors) {
    Handle a, b;
    ASSERT_EQ(a.created(), MORVANE_OK);
    ASSERT_EQ(b.created(), MORVANE_OK);
    ASSERT_EQ(a.Add("templates/main.xml"), 0);
    // b has no main template yet: a's index is not b's.
    EXPECT_EQ(MorvaneClassifierClassifyImageFile(b.get(),
                                                 W(U((kExamples + "pages/300dpi/A5_page.jpg").c_str())), 0),
              MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneClassifierSetTemplateValid(b.get(), W(u"A5"), 0), MORVANE_ERR_INVALID_PARAMETER);
    ASSERT_EQ(b.Add("templates/main.xml"), 0);
    ASSERT_EQ(MorvaneClassifierSetPixelResolution(a.get(), 300, 300, 0), MORVANE_OK);
    ASSERT_EQ(MorvaneClassifierSetPixelResolution(b.get(), 200, 200, 0), MORVANE_OK);

    EXPECT_EQ(a.Classify("pages/300dpi/A5_page.jpg", 0), "A5");
    EXPECT_EQ(b.Classify("pages/200dpi/ID1_card.bmp", 0), "ID1");
    // Each keeps its own result, and the resolution it measured with.
    EXPECT_EQ(Read(MorvaneClassifierGetTemplateID, a.get()), "A5");
    EXPECT_EQ(Read(MorvaneClassifierGetTemplateID, b.get()), "ID1");
    int x = 0, y = 0, source = -1;
    ASSERT_EQ(MorvaneClassifierGetPageResolution(a.get(), &x, &y, &source), MORVANE_OK);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(source, MORVANE_RESOLUTION_OPTION);
    ASSERT_EQ(MorvaneClassifierGetPageResolution(b.get(), &x, &y, &source), MORVANE_OK);
    EXPECT_EQ(x, 200);

    // A failure on b leaves its detail on b alone, and b's last result gone.
    EXPECT_EQ(b.Classify("pages/no_such_page.png", 0), "code " + std::to_string(MORVANE_ERR_READ_IMAGE));
    const std::string detail = Read(MorvaneClassifierGetLastErrorDetail, b.get());
    EXPECT_NE(detail.find("no_such_page.png"), std::string::npos) << detail;
    EXPECT_EQ(Read(MorvaneClassifierGetLastErrorDetail, a.get()), "");
    EXPECT_EQ(Read(MorvaneClassifierGetTemplateID, a.get()), "A5");

    // The default instance saw none of it.
    int n = 0;
    EXPECT_EQ(GetTemplateID(nullptr, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(MorvaneGetDecisionTrace(nullptr, &n), MORVANE_ERR_UNINITIALIZED);

    // A setting on one handle is not the other's: orientation search.
    ASSERT_EQ(MorvaneClassifierSetOrientationSearch(a.get(), 1), MORVANE_OK);
    const std::string trace_a =
        (a.Classify("pages/300dpi/A5_page.jpg", 0), Read(MorvaneClassifierGetDecisionTrace, a.get()));
    const std::string trace_b =
        (b.Classify("pages/300dpi/A5_page.jpg", 0), Read(MorvaneClassifierGetDecisionTrace, b.get()));
    EXPECT_NE(trace_a.find("\"searched\":true"), std::string::npos) << trace_a;
    EXPECT_NE(trace_b.find("\"searched\":false"), std::string::npos) << trace_b;
}

// The bundled pages (not the text pages, whose engines a build may lack),
// with the resolution their folder names.
struct BundledPage {
    std::string path;
    int dpi;
};

std::vector<BundledPage> BundledPages() {
    std::vector<BundledPage> pages;
    const char* names[][2] = {
        {"200dpi/A4_page.jpg", "200"},
        {"200dpi/A4_letter.png", "200"},
        {"200dpi/A5_page.tif", "200"},
        {"200dpi/DRIVING_photo_right.png", "200"},
        {"200dpi/FORM-B200_boxed.tif", "200"},
        {"200dpi/FORM-T100_table.tif", "200"},
        {"200dpi/FORM-T100_table_shifted.png", "200"},
        {"200dpi/ID1_card.bmp", "200"},
        {"200dpi/IDCARD_photo_left.png", "200"},
        {"200dpi/LETTER_page.png", "200"},
        {"200dpi/TD3_passport.png", "200"},
        {"200dpi/UNKNOWN_receipt.jpg", "200"},
        {"300dpi/A4_page.png", "300"},
        {"300dpi/A5_page.jpg", "300"},
        {"300dpi/DRIVING_photo_right.jpg", "300"},
        {"300dpi/FORM-B200_boxed_shifted.tif", "300"},
        {"300dpi/FORM-T100_table_shifted.tif", "300"},
        {"300dpi/ID1_card.bmp", "300"},
        {"300dpi/ID1_text.png", "300"},
        {"300dpi/IDCARD_photo_left.jpg", "300"},
        {"300dpi/LETTER_page.tif", "300"},
        {"300dpi/TD3_passport.tif", "300"},
        {"300dpi/TD3_text.png", "300"},
        {"300dpi/UNKNOWN_receipt.png", "300"},
        {"400dpi/A4_page.tif", "400"},
        {"400dpi/A5_page.png", "400"},
        {"400dpi/DRIVING_photo_right.bmp", "400"},
        {"400dpi/ID1_card.bmp", "400"},
        {"400dpi/IDCARD_photo_left.bmp", "400"},
        {"400dpi/LETTER_page.jpg", "400"},
        {"400dpi/TD3_passport.jpg", "400"},
        {"400dpi/UNKNOWN_receipt.tif", "400"},
        {"scanned/200dpi/A4_letter_scan.jpg", "200"},
        {"scanned/200dpi/IDCARD_on_white_glass.jpg", "200"},
        {"scanned/300dpi/ID1_text_scan.jpg", "300"},
        {"scanned/300dpi/TD3_text_scan.jpg", "300"},
    };
    for (const auto& n : names) pages.push_back({std::string("pages/") + n[0], std::stoi(n[1])});
    return pages;
}

// Everything a classification answers: the code, the IDs, the margin and the
// whole decision trace.
std::string Answer(Handle& h, const BundledPage& page) {
    if (MorvaneClassifierSetPixelResolution(h.get(), page.dpi, page.dpi, 0) != MORVANE_OK)
        return "dpi refused";
    const int code = MorvaneClassifierClassifyImageFile(h.get(), W(U((kExamples + page.path).c_str())), 0);
    int score = 0, margin = 0;
    MorvaneClassifierGetDecisionMargin(h.get(), &score, &margin);
    return std::to_string(code) + " " + Read(MorvaneClassifierGetTemplateID, h.get()) + " " +
           Read(MorvaneClassifierGetTemplateOutputID, h.get()) + " " + std::to_string(score) + "/" +
           std::to_string(margin) + " " + Read(MorvaneClassifierGetDecisionTrace, h.get());
}

// Two handles on two threads classify the bundled pages at the same time,
// in opposite orders, and answer exactly as one handle does alone (the
// ThreadSanitizer job runs this test).
TEST(HostThreads, TwoHandlesOnTwoThreadsAnswerAsOne) {
    const std::vector<BundledPage> pages = BundledPages();
    std::vector<std::string> expected;
    {
        Handle alone;
        ASSERT_EQ(alone.created(), MORVANE_OK);
        ASSERT_EQ(alone.Add("templates/main.xml"), 0);
        for (const BundledPage& p : pages) expected.push_back(Answer(alone, p));
    }
    // The pages tell the document kinds apart: not one answer for all.
    ASSERT_GT(std::count_if(expected.begin(), expected.end(),
                            [&](const std::string& a) { return a != expected.front(); }),
              0);
    for (const std::string& a : expected) ASSERT_EQ(a.compare(0, 2, "0 "), 0) << a;

    Handle one, two;
    ASSERT_EQ(one.created(), MORVANE_OK);
    ASSERT_EQ(two.created(), MORVANE_OK);
    ASSERT_EQ(one.Add("templates/main.xml"), 0);
    ASSERT_EQ(two.Add("templates/main.xml"), 0);
    std::vector<std::string> seen[2];
    auto run = [&](Handle& h, std::vector<std::string>& out, bool backwards) {
        out.resize(pages.size());
        for (size_t k = 0; k < pages.size(); ++k) {
            const size_t i = backwards ? pages.size() - 1 - k : k;
            out[i] = Answer(h, pages[i]);
        }
    };
    std::thread a(run, std::ref(one), std::ref(seen[0]), false);
    std::thread b(run, std::ref(two), std::ref(seen[1]), true);
    a.join();
    b.join();
    for (size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(pages[i].path);
        EXPECT_EQ(seen[0][i], expected[i]);
        EXPECT_EQ(seen[1][i], expected[i]);
    }
}

}  // namespace
