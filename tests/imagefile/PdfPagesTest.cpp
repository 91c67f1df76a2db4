// PDF pages through the codec table: the scanned-image route (DCT, CCITT
// G4, Flate rows) at the image's placement resolution, the rendered route,
// page counts and the refusals of encrypted, damaged and oversized input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PdfTestFiles.h"
#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"
#include "imagefile/ImageFileTestUtil.h"
#include "imagefile/PdfCodec.h"

namespace {

using imagefile_test::U16;

const std::string kPages = MORVANE_SOURCE_DIR "/examples/pages/";

CDib Load(const std::string& path) {
    CDib image;
    EXPECT_TRUE(imagefile::LoadImageFile(image, U16(path))) << path << ": " << imagefile::LastReadFailure();
    return image;
}

std::string FileText(const std::string& path) {
    const std::vector<uint8_t> bytes = imagefile_test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

const uint8_t* Data(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

bool SamePixels(const CDib& a, const CDib& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount) return false;
    // Only the bits of the row's pixels: the padding after them is not compared.
    const int64_t bits = int64_t(a.width) * a.bitCount;
    const size_t whole = static_cast<size_t>(bits / 8);
    const int rest = static_cast<int>(bits % 8);
    const uint8_t mask = static_cast<uint8_t>(0xFF00 >> rest);
    for (int32_t y = 0; y < a.height; ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), whole) != 0) return false;
        if (rest && ((a.Row(y)[whole] ^ b.Row(y)[whole]) & mask)) return false;
    }
    return true;
}

bool Decode(const std::string& pdf, int page, CDib& image) {
    return imagefile::DecodeEncodedPage(Data(pdf), pdf.size(), page, image, imagefile::DecodeLimits());
}

TEST(PdfPages, ScannedImagesAreReadAtTheirPlacementResolution) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    const CDib a4 = Load(kPages + "400dpi/A4_page.tif");
    const CDib jpeg = Load(kPages + "200dpi/A4_page.jpg");
    ASSERT_EQ(letter.bitCount, 1);
    ASSERT_EQ(a4.bitCount, 1);
    struct Case {
        const char* what;
        pdftest::Page page;
        const CDib* expected;
        const char* filter;
        int32_t xDpi, yDpi;
    } cases[] = {
        {"DCT",
         pdftest::JpegPage(FileText(kPages + "200dpi/A4_page.jpg"), jpeg.width, jpeg.height,
                           jpeg.bitCount == 8 ? 1 : 3, 200),
         &jpeg, "DCTDecode", 200, 200},
        {"CCITT G4", pdftest::G4Page(letter, 300, 300), &letter, "CCITTFaxDecode", 300, 300},
        // Placed at different sizes across and down: each axis has its own resolution.
        {"CCITT G4 300 x 150", pdftest::G4Page(letter, 300, 150), &letter, "CCITTFaxDecode", 300, 150},
        {"Flate 1-bit", pdftest::FlatePage(a4, 400), &a4, "FlateDecode", 400, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pdf = pdftest::MakePdf({c.page});
        ASSERT_EQ(imagefile::CountEncodedPages(Data(pdf), pdf.size()), 1) << imagefile::LastReadFailure();
        imagefile::PdfPageInfo info;
        ASSERT_TRUE(imagefile::InspectPdfPage(Data(pdf), pdf.size(), 0, info))
            << imagefile::LastReadFailure();
        EXPECT_TRUE(info.scannedImage);
        EXPECT_EQ(info.filter, c.filter);
        EXPECT_NEAR(info.xDpi, c.xDpi, 0.01);
        EXPECT_NEAR(info.yDpi, c.yDpi, 0.01);
        CDib page;
        ASSERT_TRUE(Decode(pdf, 0, page)) << imagefile::LastReadFailure();
        EXPECT_TRUE(SamePixels(page, *c.expected));
        EXPECT_EQ(page.xResolution, c.xDpi);
        EXPECT_EQ(page.yResolution, c.yDpi);
        EXPECT_EQ(page.StoredXDpi(), c.xDpi);
        EXPECT_EQ(page.StoredYDpi(), c.yDpi);
    }
}

// A 1-bit page with no symmetry: a mark in one corner, a bar along one edge.
CDib AsymmetricPage(int32_t w, int32_t h) {
    CDib page;
    EXPECT_TRUE(page.Create(w, h, 1, 300));
    auto set = [&](int32_t x, int32_t y) { page.Row(y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); };
    for (int32_t y = 5; y < 25; ++y)
        for (int32_t x = 7; x < 40; ++x) set(x, y);
    for (int32_t x = 0; x < w; ++x) set(x, h - 3);
    for (int32_t y = 0; y < h / 2; ++y) set(w - 2, y);
    return page;
}

// The page turned by quarter turns clockwise, pixel by pixel.
CDib TurnedClockwise(const CDib& in, int quarters) {
    CDib out;
    const bool swap = quarters % 2 == 1;
    EXPECT_TRUE(out.Create(swap ? in.height : in.width, swap ? in.width : in.height, 1, 300));
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x) {
            if (!(in.Row(y)[x / 8] & (0x80 >> (x % 8)))) continue;
            int32_t nx = x, ny = y;
            for (int q = 0; q < quarters; ++q) {
                const int32_t oldHeight = (q % 2 == 0) ? in.height : in.width;
                const int32_t tx = oldHeight - 1 - ny;
                ny = nx;
                nx = tx;
            }
            out.Row(ny)[nx / 8] |= static_cast<uint8_t>(0x80 >> (nx % 8));
        }
    return out;
}

TEST(PdfPages, PageRotationAndTurnedPlacementsAreApplied) {
    const CDib source = AsymmetricPage(203, 117);
    // Placed at 300 dpi across and 150 down, so a quarter turn shows in the
    // resolutions too.
    const pdftest::Page upright = pdftest::G4Page(source, 300, 150);
    const double wPt = 203 * 72.0 / 300, hPt = 117 * 72.0 / 150;
    // The image turned a quarter counter-clockwise on a page of swapped size.
    const std::string turnedLeft =
        "0 " + pdftest::Num(wPt) + " -" + pdftest::Num(hPt) + " 0 " + pdftest::Num(hPt) + " 0";
    const std::string turnedRight =
        "0 -" + pdftest::Num(wPt) + " " + pdftest::Num(hPt) + " 0 0 " + pdftest::Num(wPt);
    struct Case {
        const char* what;
        std::string pageEntries;
        std::string placement;  // empty: upright
        bool swapPage;
        int clockwise;  // quarter turns expected
    } cases[] = {
        {"no rotation", "", "", false, 0},
        {"Rotate 90", "/Rotate 90", "", false, 1},
        {"Rotate 180", "/Rotate 180", "", false, 2},
        {"Rotate 270", "/Rotate 270", "", false, 3},
        {"Rotate -90", "/Rotate -90", "", false, 3},
        {"Rotate 450", "/Rotate 450", "", false, 1},
        {"Rotate 45 is not a rotation", "/Rotate 45", "", false, 0},
        {"placed turned left", "", turnedLeft, true, 3},
        {"placed turned right", "", turnedRight, true, 1},
        {"placed turned left on a page rotated 90", "/Rotate 90", turnedLeft, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pdftest::Page page = upright;
        page.pageEntries = c.pageEntries;
        if (!c.placement.empty()) page.placement = c.placement;
        if (c.swapPage) std::swap(page.widthPt, page.heightPt);
        const std::string pdf = pdftest::MakePdf({page});
        CDib decoded;
        ASSERT_TRUE(Decode(pdf, 0, decoded)) << imagefile::LastReadFailure();
        EXPECT_TRUE(SamePixels(decoded, TurnedClockwise(source, c.clockwise)));
        const bool quarter = c.clockwise % 2 == 1;
        EXPECT_EQ(decoded.xResolution, quarter ? 150 : 300);
        EXPECT_EQ(decoded.yResolution, quarter ? 300 : 150);
        EXPECT_EQ(decoded.StoredXDpi(), quarter ? 150 : 300);
    }
}

TEST(PdfPages, WhatMarksAPageBesideItsImageDecidesTheRoute) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    struct Case {
        const char* what;
        std::string drawing;
        bool scanned;
    } cases[] = {
        {"image only", "", true},
        {"invisible recognised text", "BT 3 Tr /F1 12 Tf 10 10 Td (TEXT) Tj ET\n", true},
        {"visible text", "BT /F1 12 Tf 10 10 Td (TEXT) Tj ET\n", false},
        {"a filled box", "10 10 50 50 re f\n", false},
        {"a stroked line", "10 10 m 100 100 l S\n", false},
        {"the image twice", "q 10 0 0 10 0 0 cm /Im0 Do Q\n", false},
        {"a path only clipped", "0 0 10 10 re W n\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pdftest::Page page = pdftest::G4Page(letter, 300, 300);
        page.drawing = c.drawing;
        const std::string pdf = pdftest::MakePdf({page});
        imagefile::PdfPageInfo info;
        ASSERT_TRUE(imagefile::InspectPdfPage(Data(pdf), pdf.size(), 0, info))
            << imagefile::LastReadFailure();
        EXPECT_EQ(info.scannedImage, c.scanned);
    }
}

TEST(PdfPages, AnImageWithoutUsablePlacementTakesTheMediaBox) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    pdftest::Page page = pdftest::G4Page(letter, 300, 300);
    page.placement = "0 0 0 0 0 0";
    const std::string pdf = pdftest::MakePdf({page});
    imagefile::PdfPageInfo info;
    ASSERT_TRUE(imagefile::InspectPdfPage(Data(pdf), pdf.size(), 0, info));
    ASSERT_TRUE(info.scannedImage);
    EXPECT_NEAR(info.xDpi, 300, 0.01);
    EXPECT_NEAR(info.yDpi, 300, 0.01);
}

TEST(PdfPages, APageUnitLargerThanThePointLowersTheResolution) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    pdftest::Page page = pdftest::G4Page(letter, 300, 300);
    page.pageEntries = "/UserUnit 2";
    const std::string pdf = pdftest::MakePdf({page});
    imagefile::PdfPageInfo info;
    ASSERT_TRUE(imagefile::InspectPdfPage(Data(pdf), pdf.size(), 0, info));
    EXPECT_NEAR(info.xDpi, 150, 0.01);
    EXPECT_NEAR(info.yDpi, 150, 0.01);
}

TEST(PdfPages, VectorPagesAreRenderedOrRefusedWithTheReason) {
    const CDib a5 = Load(kPages + "400dpi/A5_page.png");
    ASSERT_EQ(a5.bitCount, 1);
    const pdftest::Page vector = pdftest::VectorPage(a5, 400);
    const std::string pdf = pdftest::MakePdf({vector});
    imagefile::PdfPageInfo info;
    ASSERT_TRUE(imagefile::InspectPdfPage(Data(pdf), pdf.size(), 0, info));
    EXPECT_FALSE(info.scannedImage);
    CDib page;
    if (!imagefile::PdfRendererAvailable()) {
        EXPECT_FALSE(Decode(pdf, 0, page));
        EXPECT_NE(imagefile::LastReadFailure().find("no PDF renderer"), std::string::npos)
            << imagefile::LastReadFailure();
        return;
    }
    ASSERT_TRUE(Decode(pdf, 0, page)) << imagefile::LastReadFailure();
    const int32_t dpi = imagefile::CurrentPdfSettings().renderDpi;
    EXPECT_EQ(page.xResolution, dpi);
    EXPECT_EQ(page.StoredXDpi(), dpi);
    EXPECT_NEAR(page.width, a5.width * dpi / 400.0, 1.0);
    EXPECT_NEAR(page.height, a5.height * dpi / 400.0, 1.0);
    ASSERT_EQ(page.bitCount, 24);
    // Pixels agree with the page the drawing came from, away from edges.
    int64_t agree = 0, total = 0;
    for (int32_t y = 2; y + 2 < page.height; y += 7)
        for (int32_t x = 2; x + 2 < page.width; x += 7) {
            const int32_t sx = static_cast<int32_t>(x * 400.0 / dpi),
                          sy = static_cast<int32_t>(y * 400.0 / dpi);
            if (sx >= a5.width || sy >= a5.height) continue;
            const bool black = (a5.Row(sy)[sx / 8] & (0x80 >> (sx % 8))) != 0;
            const bool dark = page.Row(y)[x * 3 + 1] < 128;
            agree += black == dark;
            ++total;
        }
    ASSERT_GT(total, 1000);
    EXPECT_GT(static_cast<double>(agree) / static_cast<double>(total), 0.98);
}

TEST(PdfPages, RenderingIsBoundedByThePageBudgetBeforeItStarts) {
    if (!imagefile::PdfRendererAvailable()) GTEST_SKIP() << "this build has no PDF renderer";
    const CDib a5 = Load(kPages + "400dpi/A5_page.png");
    const std::string pdf = pdftest::MakePdf({pdftest::VectorPage(a5, 400)});
    imagefile::DecodeLimits limits;
    limits.maxPixels = 1000000;  // an A5 page at 300 dpi holds 2.2 million
    CDib page;
    EXPECT_FALSE(imagefile::DecodeEncodedPage(Data(pdf), pdf.size(), 0, page, limits));
    EXPECT_FALSE(page.HasPixels());
    EXPECT_NE(imagefile::LastReadFailure().find("page budget"), std::string::npos)
        << imagefile::LastReadFailure();
}

TEST(PdfPages, PagesAreCountedAndEachIsItsOwn) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    const CDib a4 = Load(kPages + "400dpi/A4_page.tif");
    const std::string pdf =
        pdftest::MakePdf({pdftest::G4Page(letter, 300, 300), pdftest::FlatePage(a4, 400)});
    ASSERT_EQ(imagefile::CountEncodedPages(Data(pdf), pdf.size()), 2);
    CDib first, second, third;
    ASSERT_TRUE(Decode(pdf, 0, first));
    ASSERT_TRUE(Decode(pdf, 1, second));
    EXPECT_TRUE(SamePixels(first, letter));
    EXPECT_TRUE(SamePixels(second, a4));
    EXPECT_EQ(second.xResolution, 400);
    EXPECT_FALSE(Decode(pdf, 2, third));
    EXPECT_EQ(imagefile::LastReadFailure(), "page 3 asked of a PDF of 2 pages");
}

// A cross-reference offset that points nowhere.
std::string WrongStartXref(const std::string& pdf) {
    const size_t at = pdf.rfind("startxref\n");
    const size_t end = pdf.find('\n', at + 10);
    return pdf.substr(0, at + 10) + "17" + pdf.substr(end);
}

TEST(PdfPages, EncryptedAndDamagedFilesAreRefusedWithTheirCause) {
    const CDib letter = Load(kPages + "300dpi/LETTER_page.tif");
    const pdftest::Page page = pdftest::G4Page(letter, 300, 300);
    const std::string plain = pdftest::MakePdf({page});
    struct Case {
        const char* what;
        std::string pdf;
        const char* cause;
    } cases[] = {
        // Even with an empty user password, which opens without asking.
        {"encrypted", pdftest::MakePdf({page}, true), "encrypted PDF: encrypted files are not read"},
        {"header only", "%PDF-1.7\n", "damaged PDF: "},
        {"cut in its image", plain.substr(0, plain.size() / 2),
         "damaged PDF: unable to find trailer dictionary"},
        {"no trailer", plain.substr(0, plain.rfind("trailer")),
         "damaged PDF: unable to find trailer dictionary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDib image;
        EXPECT_FALSE(Decode(c.pdf, 0, image));
        EXPECT_FALSE(image.HasPixels());
        EXPECT_EQ(imagefile::LastReadFailure().rfind(c.cause, 0), 0u) << imagefile::LastReadFailure();
        EXPECT_EQ(imagefile::CountEncodedPages(Data(c.pdf), c.pdf.size()), 0);
        EXPECT_EQ(imagefile::LastReadFailure().rfind(c.cause, 0), 0u) << imagefile::LastReadFailure();
    }
    // A lost cross-reference table is rebuilt by qpdf: the page is whole.
    const std::string moved = WrongStartXref(plain);
    ASSERT_NE(moved, plain);
    CDib image;
    ASSERT_TRUE(Decode(moved, 0, image)) << imagefile::LastReadFailure();
    EXPECT_TRUE(SamePixels(image, letter));
}

}  // namespace
