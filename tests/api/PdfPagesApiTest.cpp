// PDF pages through the exported interface: page counts of files and of
// bytes in memory, classifying page N, the resolution a scanned page states,
// the render resolution setter and the refusals' detail.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ApiTestUtil.h"

namespace {

std::string Text(int (*get)(MorvaneChar*, int*)) {
    int length = 0;
    if (get(nullptr, &length) != -61 || length <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (get(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0) return "<error>";
    return std::string(buffer.begin(), buffer.end() - 1);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A PDF whose pages each show one JPEG (gray, width x height) placed at dpi.
struct JpegPage {
    std::string jpeg;
    int width, height, dpi;
};
std::string MakePdf(const std::vector<JpegPage>& pages) {
    std::vector<std::string> objects = {"", ""};  // the catalog and the page tree, filled in last
    std::string kids;
    for (const JpegPage& p : pages) {
        const double w = p.width * 72.0 / p.dpi, h = p.height * 72.0 / p.dpi;
        char content[128];
        std::snprintf(content, sizeof content, "q %.4f 0 0 %.4f 0 0 cm /Im0 Do Q", w, h);
        objects.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(p.width) +
                          " /Height " + std::to_string(p.height) +
                          " /BitsPerComponent 8 /ColorSpace /DeviceGray /Filter /DCTDecode" + " /Length " +
                          std::to_string(p.jpeg.size()) + " >>\nstream\n" + p.jpeg + "\nendstream");
        const size_t image = objects.size();
        objects.push_back("<< /Length " + std::to_string(std::string(content).size()) + " >>\nstream\n" +
                          content + "\nendstream");
        const size_t stream = objects.size();
        char box[96];
        std::snprintf(box, sizeof box, "[0 0 %.4f %.4f]", w, h);
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(box) +
                          " /Resources << /XObject << /Im0 " + std::to_string(image) +
                          " 0 R >> >> /Contents " + std::to_string(stream) + " 0 R >>");
        kids += std::to_string(objects.size()) + " 0 R ";
    }
    objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
    std::string out = "%PDF-1.7\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

class PdfPagesApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), 0);
        ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index_), 0);
        ASSERT_EQ(MorvaneSetFileResolution(1), 0);
        // The 200-dpi A4 page (1654 x 2339) and the 300-dpi A5 page (1748 x 2480), gray JPEGs.
        pdf_ =
            MakePdf({{FileText(MORVANE_SOURCE_DIR "/examples/pages/200dpi/A4_page.jpg"), 1654, 2339, 200},
                     {FileText(MORVANE_SOURCE_DIR "/examples/pages/300dpi/A5_page.jpg"), 1748, 2480, 300}});
        // One file per test process: CTest runs the tests side by side.
        path_ = ::testing::TempDir() + "/morvane_api_two_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pdf";
        std::ofstream(path_, std::ios::binary) << pdf_;
    }
    void TearDown() override {
        std::remove(path_.c_str());
        MorvaneSetFileResolution(0);
        FreeClassifier();
    }
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(pdf_.data()); }
    long long Size() const { return static_cast<long long>(pdf_.size()); }
    int index_ = -1;
    std::string pdf_, path_;
};

TEST_F(PdfPagesApi, EachPageOfAFileOrOfBytesIsClassifiedAtItsResolution) {
    int count = -1;
    ASSERT_EQ(MorvaneGetImagePageCount(W(U(path_.c_str())), &count), 0) << Text(MorvaneGetLastErrorDetail);
    EXPECT_EQ(count, 2);
    count = -1;
    ASSERT_EQ(MorvaneGetEncodedImagePageCount(Bytes(), Size(), &count), 0) << Text(MorvaneGetLastErrorDetail);
    EXPECT_EQ(count, 2);
    const struct {
        int page;
        const char* id;
        int dpi;
    } pages[] = {{0, "A4", 200}, {1, "A5", 300}};
    for (const auto& p : pages) {
        ASSERT_EQ(MorvaneClassifyImageFilePage(W(U(path_.c_str())), p.page, index_), 0)
            << Text(MorvaneGetLastErrorDetail);
        EXPECT_EQ(Text(GetTemplateID), p.id);
        int x = 0, y = 0, source = -1;
        ASSERT_EQ(MorvaneGetPageResolution(&x, &y, &source), 0);
        EXPECT_EQ(x, p.dpi);
        EXPECT_EQ(y, p.dpi);
        EXPECT_EQ(source, 1);  // the file's
        ASSERT_EQ(MorvaneClassifyEncodedImage(Bytes(), Size(), p.page, index_), 0);
        EXPECT_EQ(Text(GetTemplateID), p.id);
    }
    EXPECT_EQ(MorvaneClassifyImageFilePage(W(U(path_.c_str())), 2, index_), -16);
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail), path_ + ": page 3 asked of a PDF of 2 pages");
}

TEST_F(PdfPagesApi, CountsOfBytesCheckTheirArguments) {
    int count = -1;
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(Bytes(), Size(), nullptr), -61);
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(nullptr, 10, &count), -61);
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(Bytes(), 0, &count), -61);
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(Bytes(), (1LL << 28) + 1, &count), -16);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(Bytes(), 9, &count), -16);
    EXPECT_EQ(Text(MorvaneGetLastErrorDetail).rfind("<memory>: damaged PDF: ", 0), 0u)
        << Text(MorvaneGetLastErrorDetail);
    const unsigned char tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0};
    EXPECT_EQ(MorvaneGetEncodedImagePageCount(tiff, sizeof tiff, &count), -16);
}

TEST_F(PdfPagesApi, RenderResolutionTakesItsRange) {
    for (int dpi : {49, 1201, -1}) EXPECT_EQ(MorvaneSetPdfRenderResolution(dpi), -61) << dpi;
    for (int dpi : {50, 1200, 0}) EXPECT_EQ(MorvaneSetPdfRenderResolution(dpi), 0) << dpi;
}

}  // namespace
