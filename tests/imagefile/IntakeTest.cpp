// Image intake: what is refused before a file is read, and why; truncated
// data in every codec path; multi-page TIFF and JP2 through the codec table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

using namespace imagefile_test;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A smooth gray or colour page (JPEG-friendly content).
void SmoothPage(CDib& page, int w, int h, int bpp) {
    ASSERT_TRUE(page.Create(w, h, bpp, 300));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * (bpp / 8); ++x) page.Row(y)[x] = static_cast<uint8_t>((x * 3 + y * 5) & 0xFF);
}

// A JPEG written by libjpeg with progressive or arithmetic coding.
std::vector<uint8_t> CodedJpeg(bool progressive, bool arithmetic, int w = 256, int h = 256) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < w * 3; ++x) row[x] = static_cast<uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 0xFF);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buf, buf + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buf);
    return out;
}

// Offset of the n-th start-of-scan marker (0 first); 0 when there is none.
size_t ScanStart(const std::vector<uint8_t>& jpg, int n) {
    for (size_t i = 2; i + 1 < jpg.size(); ++i)
        if (jpg[i] == 0xFF && jpg[i + 1] == 0xDA && n-- == 0) return i;
    return 0;
}

std::vector<uint8_t> CutAndClose(const std::vector<uint8_t>& data, size_t keep) {
    std::vector<uint8_t> out(data.begin(), data.begin() + static_cast<long>(keep));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

void PutLe16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void PutLe32(std::vector<uint8_t>& v, uint32_t x) {
    PutLe16(v, x & 0xFFFF);
    PutLe16(v, x >> 16);
}

// An 8-bit RLE BMP with a black-and-white palette and the given data.
std::vector<uint8_t> RleBmp(int32_t w, int32_t h, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> v = {'B', 'M'};
    const uint32_t offset = 14 + 40 + 8;
    PutLe32(v, offset + static_cast<uint32_t>(data.size()));
    PutLe32(v, 0);
    PutLe32(v, offset);
    PutLe32(v, 40);
    PutLe32(v, static_cast<uint32_t>(w));
    PutLe32(v, static_cast<uint32_t>(h));
    PutLe16(v, 1);
    PutLe16(v, 8);
    PutLe32(v, 1);  // RLE8
    PutLe32(v, static_cast<uint32_t>(data.size()));
    PutLe32(v, 11811);
    PutLe32(v, 11811);
    PutLe32(v, 2);
    PutLe32(v, 2);
    for (uint8_t b : {0, 0, 0, 0, 255, 255, 255, 0}) v.push_back(b);
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

// Rows of RLE8 data: each row a run of index 1 then end-of-line.
std::vector<uint8_t> RleRows(int rows, int width, bool endOfBitmap) {
    std::vector<uint8_t> d;
    for (int r = 0; r < rows; ++r) d.insert(d.end(), {static_cast<uint8_t>(width), 1, 0, 0});
    if (endOfBitmap) d.insert(d.end(), {0, 1});
    return d;
}

// A one-strip CCITT G4 TIFF whose strip holds only the first `keep` bytes
// of the coded page, with a byte count that says so.
std::vector<uint8_t> G4TiffWithStrip(const CDib& page, double keep) {
    std::vector<uint8_t> full;
    EXPECT_TRUE(imagefile::EncodeTiff(page, imagefile::TiffCompression::CcittG4, full));
    const std::string in = TempPath("g4_full.tif"), out = TempPath("g4_cut.tif");
    EXPECT_TRUE(WriteBytes(in, full));
    TIFF* src = TIFFOpen(in.c_str(), "r");
    EXPECT_NE(src, nullptr);
    if (!src) return {};
    std::vector<uint8_t> raw(static_cast<size_t>(TIFFRawStripSize(src, 0)));
    const tmsize_t got = TIFFReadRawStrip(src, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFClose(src);
    TIFF* dst = TIFFOpen(out.c_str(), "w");
    EXPECT_NE(dst, nullptr);
    if (!dst) return {};
    TIFFSetField(dst, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
    TIFFSetField(dst, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
    TIFFSetField(dst, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(dst, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(dst, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(page.height));
    TIFFWriteRawStrip(dst, 0, raw.data(), static_cast<tmsize_t>(static_cast<double>(got) * keep));
    TIFFClose(dst);
    return ReadBytes(out);
}

// A page with ink on many rows (a G4 strip then carries data to the end).
void InkedBilevel(CDib& page, int w, int h) {
    ASSERT_TRUE(page.Create(w, h, 1, 300));
    for (int y = 0; y < h; ++y)
        for (int x = (y * 7) % 13; x < w; x += 9 + (y % 5))
            page.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

uint32_t Crc(const char* kind, const std::vector<uint8_t>& payload) {
    uLong c = crc32(0, reinterpret_cast<const Bytef*>(kind), 4);
    if (payload.empty()) return static_cast<uint32_t>(c);
    return static_cast<uint32_t>(crc32(c, payload.data(), static_cast<uInt>(payload.size())));
}

void PngChunk(std::vector<uint8_t>& png, const char* kind, const std::vector<uint8_t>& payload) {
    const uint32_t n = static_cast<uint32_t>(payload.size());
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(n >> s));
    png.insert(png.end(), kind, kind + 4);
    png.insert(png.end(), payload.begin(), payload.end());
    const uint32_t c = Crc(kind, payload);
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(c >> s));
}

// Deflates `rows` followed by `extraZeros` zero bytes in one stream.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& rows, size_t extraZeros) {
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(rows.size() + extraZeros)) + 1024);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    z.next_in = const_cast<Bytef*>(rows.data());
    z.avail_in = static_cast<uInt>(rows.size());
    deflate(&z, Z_NO_FLUSH);
    std::vector<uint8_t> zeros(size_t(1) << 20, 0);
    for (size_t left = extraZeros; left > 0;) {
        const size_t n = std::min(left, zeros.size());
        z.next_in = zeros.data();
        z.avail_in = static_cast<uInt>(n);
        deflate(&z, Z_NO_FLUSH);
        left -= n;
    }
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A 32 x 32 gray PNG (rows a ramp) with optional zTXt chunks before its
// data and extra deflate output after its rows.
std::vector<uint8_t> GrayPng(int textChunks, size_t textBytes, size_t extraZeros) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PngChunk(png, "IHDR", {0, 0, 0, 32, 0, 0, 0, 32, 8, 0, 0, 0, 0});
    if (textChunks > 0) {
        std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
        const std::vector<uint8_t> body = Deflate({}, textBytes);
        text.insert(text.end(), body.begin(), body.end());
        for (int i = 0; i < textChunks; ++i) PngChunk(png, "zTXt", text);
    }
    std::vector<uint8_t> rows;
    for (int y = 0; y < 32; ++y) {
        rows.push_back(0);
        for (int x = 0; x < 32; ++x) rows.push_back(static_cast<uint8_t>(x * 8));
    }
    PngChunk(png, "IDAT", Deflate(rows, extraZeros));
    PngChunk(png, "IEND", {});
    return png;
}

}  // namespace

TEST(ImageIntake, RefusedBeforeReadingWithTheirCause) {
    const std::string dir = TempPath("intake_dir");
    ::mkdir(dir.c_str(), 0700);
    const std::string fifo = TempPath("intake_fifo.png");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string empty = TempPath("intake_empty.png");
    ASSERT_TRUE(WriteBytes(empty, {}) || FileExists(empty));
    const std::string unknown = TempPath("intake_text.jpg");
    // PostScript: a page description no codec reads (a PDF header is read as a PDF).
    ASSERT_TRUE(WriteBytes(unknown, {'%', '!', 'P', 'S', '-', 'A', 'd', 'o', 'b', 'e', '\n'}));
    // A PNG signature, then 64 MiB of holes.
    const std::string sparse = TempPath("intake_sparse.png");
    ASSERT_TRUE(WriteBytes(sparse, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    ASSERT_EQ(::truncate(sparse.c_str(), 64 << 20), 0);
    struct Case {
        std::string path;
        const char* cause;
    } cases[] = {
        {TempPath("intake_missing.png"), "no such file"},
        {dir, "is a folder, not a regular file"},
        {fifo, "not a regular file (a pipe)"},
        {"/dev/null", "not a regular file (a character device)"},
        {empty, "empty file"},
        {unknown, "unknown format by signature (first bytes 25 21 50 53 2d 41 64 6f)"},
        {sparse, "sparse file (67108864 bytes claimed"},
        {"/proc/self/pagemap", "file on a pseudo file system (procfs)"},
        {"/sys/kernel/notes", "file on a pseudo file system (sysfs)"},
    };
    for (const Case& c : cases) {
        struct stat st;
        if (c.path.compare(0, 6, "/proc/") == 0 || c.path.compare(0, 5, "/sys/") == 0) {
            if (::stat(c.path.c_str(), &st) != 0) continue;  // this kernel has no such file
        }
        CDib page;
        std::vector<uint8_t> data;
        EXPECT_FALSE(imagefile::ReadImageFileBytes(U16(c.path), data)) << c.path;
        EXPECT_TRUE(data.empty()) << c.path;
        EXPECT_TRUE(Contains(imagefile::LastReadFailure(), c.cause))
            << c.path << ": " << imagefile::LastReadFailure();
        EXPECT_FALSE(imagefile::LoadImageFile(page, U16(c.path))) << c.path;
        EXPECT_TRUE(Contains(imagefile::LastReadFailure(), c.cause)) << c.path;
    }
    std::remove(fifo.c_str());
    std::remove(sparse.c_str());

    // A file over the image file limit is refused by its size alone.
    CDib small;
    MakePage(small, 64, 64, 8);
    const std::string big = TempPath("intake_big.bmp");
    ASSERT_TRUE(imagefile::SaveImageFile(small, U16(big), 0));
    imagefile::PageBudget& budget = imagefile::CurrentPageBudget();
    const int64_t saved = budget.maxFileBytes;
    budget.maxFileBytes = 1000;
    CDib page;
    EXPECT_FALSE(imagefile::LoadImageFile(page, U16(big)));
    EXPECT_TRUE(Contains(imagefile::LastReadFailure(), "over the image file limit of 1000 bytes"))
        << imagefile::LastReadFailure();
    budget.maxFileBytes = saved;
    EXPECT_TRUE(imagefile::LoadImageFile(page, U16(big)));
    EXPECT_TRUE(imagefile::LastReadFailure().empty());
}

TEST(ImageIntake, TruncatedDataIsNeverAPage) {
    const auto progressive = CodedJpeg(true, false);
    const auto arithmetic = CodedJpeg(false, true);
    const auto arithmeticProgressive = CodedJpeg(true, true);
    ASSERT_GT(ScanStart(progressive, 1), 0u);
    CDib bilevel;
    InkedBilevel(bilevel, 640, 480);
    CDib gray;
    SmoothPage(gray, 64, 48, 8);
    std::vector<uint8_t> png;
    ASSERT_TRUE(imagefile::EncodePng(gray, png));
    // The paths that fill pages without clearing them first: baseline
    // colour JPEG, colour PNG, colour JPEG-2000.
    const auto baseline = CodedJpeg(false, false, 320, 240);
    CDib colour;
    SmoothPage(colour, 96, 64, 24);
    std::vector<uint8_t> colourPng, colourJ2k;
    ASSERT_TRUE(imagefile::EncodePng(colour, colourPng));
    ASSERT_TRUE(imagefile::EncodeJ2k(colour, colourJ2k));
    struct Case {
        const char* name;
        std::vector<uint8_t> whole, cut;
        const char* cause;
    } cases[] = {
        {"baseline colour JPEG cut halfway", baseline, CutAndClose(baseline, baseline.size() / 2),
         "JPEG data"},
        {"baseline colour JPEG cut halfway, unclosed", baseline,
         std::vector<uint8_t>(baseline.begin(), baseline.begin() + static_cast<long>(baseline.size() / 2)),
         "JPEG data"},
        {"colour PNG cut inside its image data", colourPng,
         std::vector<uint8_t>(colourPng.begin(),
                              colourPng.begin() + static_cast<long>(colourPng.size() * 2 / 3)),
         "PNG data"},
        {"colour JPEG-2000 codestream cut halfway", colourJ2k,
         std::vector<uint8_t>(colourJ2k.begin(), colourJ2k.begin() + static_cast<long>(colourJ2k.size() / 2)),
         "JPEG-2000 codestream data"},
        {"progressive JPEG cut after its first scan", progressive,
         CutAndClose(progressive, ScanStart(progressive, 1)), "truncated JPEG data"},
        {"progressive JPEG cut halfway", progressive, CutAndClose(progressive, progressive.size() / 2),
         "JPEG data"},
        {"arithmetic JPEG cut halfway", arithmetic, CutAndClose(arithmetic, arithmetic.size() / 2),
         "truncated JPEG data"},
        {"arithmetic JPEG cut at a third, unclosed", arithmetic,
         std::vector<uint8_t>(arithmetic.begin(),
                              arithmetic.begin() + static_cast<long>(arithmetic.size() / 3)),
         "JPEG data"},
        {"arithmetic progressive JPEG cut after two scans", arithmeticProgressive,
         CutAndClose(arithmeticProgressive, ScanStart(arithmeticProgressive, 2)), "truncated JPEG data"},
        {"RLE8 BMP stopping after 10 of 100 rows", RleBmp(200, 100, RleRows(100, 200, true)),
         RleBmp(200, 100, RleRows(10, 200, false)), "truncated BMP data"},
        {"G4 TIFF strip cut in half", G4TiffWithStrip(bilevel, 1.0), G4TiffWithStrip(bilevel, 0.5),
         "truncated or corrupt TIFF data"},
        {"PNG cut inside its image data", png,
         std::vector<uint8_t>(png.begin(), png.begin() + static_cast<long>(png.size() - 30)), "PNG data"},
    };
    for (const Case& c : cases) {
        CDib page;
        const imagefile::DecodeLimits limits;
        ASSERT_TRUE(imagefile::DecodeEncodedPage(c.whole.data(), c.whole.size(), 0, page, limits))
            << c.name << ": the whole file must read: " << imagefile::LastReadFailure();
        EXPECT_FALSE(imagefile::DecodeEncodedPage(c.cut.data(), c.cut.size(), 0, page, limits)) << c.name;
        EXPECT_FALSE(page.HasPixels()) << c.name;
        EXPECT_TRUE(Contains(imagefile::LastReadFailure(), c.cause))
            << c.name << ": " << imagefile::LastReadFailure();
    }
}

TEST(ImageIntake, PngReadsOnlyWhatThePageNeeds) {
    // Text chunks that would inflate to 20 x 32 MiB, and 64 MiB of deflate
    // output after the last row: both pages read, and read right.
    for (const auto& png : {GrayPng(20, size_t(32) << 20, 0), GrayPng(0, 0, size_t(64) << 20)}) {
        CDib page;
        ASSERT_TRUE(imagefile::DecodeEncodedPage(png.data(), png.size(), 0, page, imagefile::DecodeLimits()))
            << imagefile::LastReadFailure();
        ASSERT_EQ(page.width, 32);
        ASSERT_EQ(page.bitCount, 8);
        for (int y = 0; y < 32; y += 7)
            for (int x = 0; x < 32; x += 5) EXPECT_EQ(page.Row(y)[x], x * 8) << x << "," << y;
    }
}

TEST(ImageIntake, SmallerSlipsAreRefused) {
    // Run-length rows always go bottom up: a negative height is not allowed.
    const auto topDownRle = RleBmp(64, -64, RleRows(64, 64, true));
    // 32-bit bit fields whose colour masks are all zero.
    std::vector<uint8_t> zeroMasks = {'B', 'M'};
    PutLe32(zeroMasks, 14 + 40 + 12 + 16 * 16 * 4);
    PutLe32(zeroMasks, 0);
    PutLe32(zeroMasks, 14 + 40 + 12);
    for (uint32_t v : {40u, 16u, 16u}) PutLe32(zeroMasks, v);
    PutLe16(zeroMasks, 1);
    PutLe16(zeroMasks, 32);
    for (uint32_t v : {3u, 16u * 16u * 4u, 2835u, 2835u, 0u, 0u, 0u, 0u, 0u}) PutLe32(zeroMasks, v);
    zeroMasks.resize(zeroMasks.size() + 16 * 16 * 4, 0xFF);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* cause;
    } cases[] = {
        {"RLE BMP with top-down rows", topDownRle, "run-length bitmap with top-down rows"},
        {"BMP bit fields without colour bits", zeroMasks, "bit-field masks are all zero"},
    };
    for (const Case& c : cases) {
        CDib page;
        EXPECT_FALSE(
            imagefile::DecodeEncodedPage(c.bytes.data(), c.bytes.size(), 0, page, imagefile::DecodeLimits()))
            << c.name;
        EXPECT_TRUE(Contains(imagefile::LastReadFailure(), c.cause))
            << c.name << ": " << imagefile::LastReadFailure();
    }
}

TEST(ImageIntake, BudgetCountsWhatEachPathAllocates) {
    // A run-length BMP that ends at once: the page and an index byte per
    // pixel. 2000 x 2000 bilevel: 0.5 MB of page, 4 MB of indices.
    const auto rle = RleBmp(2000, 2000, {0, 1});
    imagefile::DecodeLimits limits;
    limits.maxMemory = 3 << 20;
    CDib page;
    EXPECT_FALSE(imagefile::DecodeEncodedPage(rle.data(), rle.size(), 0, page, limits));
    EXPECT_TRUE(Contains(imagefile::LastReadFailure(), "to decode as BMP, over the page budget of 3 MiB"))
        << imagefile::LastReadFailure();
    limits.maxMemory = 5 << 20;
    EXPECT_TRUE(imagefile::DecodeEncodedPage(rle.data(), rle.size(), 0, page, limits))
        << imagefile::LastReadFailure();
    EXPECT_EQ(page.bitCount, 1);
    // A progressive colour JPEG: 2 bytes per coefficient and component,
    // plus the page (9 bytes per pixel): 256 x 256 needs 576 KiB.
    const auto progressive = CodedJpeg(true, false);
    limits.maxMemory = 512 << 10;
    EXPECT_FALSE(imagefile::DecodeEncodedPage(progressive.data(), progressive.size(), 0, page, limits));
    EXPECT_TRUE(Contains(imagefile::LastReadFailure(), "as progressive JPEG"))
        << imagefile::LastReadFailure();
    limits.maxMemory = 640 << 10;
    EXPECT_TRUE(imagefile::DecodeEncodedPage(progressive.data(), progressive.size(), 0, page, limits))
        << imagefile::LastReadFailure();
}

TEST(ImageIntake, EveryPageOfAMultiPageTiff) {
    const std::string path = TempPath("three_pages.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const int widths[3] = {40, 56, 72};
    for (int p = 0; p < 3; ++p) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(widths[p]));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 30u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        std::vector<uint8_t> row(static_cast<size_t>(widths[p]), static_cast<uint8_t>(50 * (p + 1)));
        for (uint32_t y = 0; y < 30; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    EXPECT_EQ(imagefile::CountImageFilePages(U16(path)), 3);
    for (int p = 0; p < 3; ++p) {
        CDib page;
        ASSERT_TRUE(imagefile::LoadImageFilePage(page, U16(path), p))
            << p << ": " << imagefile::LastReadFailure();
        EXPECT_EQ(page.width, widths[p]);
        EXPECT_EQ(page.Row(10)[5], 50 * (p + 1));
    }
    CDib page;
    EXPECT_FALSE(imagefile::LoadImageFilePage(page, U16(path), 3));
    EXPECT_EQ(imagefile::LastReadFailure(), "page 4 not in the file");
    // A single-page format has page 1 only.
    std::vector<uint8_t> png;
    CDib gray;
    SmoothPage(gray, 20, 10, 8);
    ASSERT_TRUE(imagefile::EncodePng(gray, png));
    EXPECT_EQ(imagefile::CountEncodedPages(png.data(), png.size()), 1);
    EXPECT_FALSE(imagefile::DecodeEncodedPage(png.data(), png.size(), 1, page, imagefile::DecodeLimits()));
    EXPECT_EQ(imagefile::LastReadFailure(), "page 2 asked of a single-page file");
}

TEST(ImageIntake, Jp2FileReadsItsCodestream) {
    CDib gray;
    SmoothPage(gray, 48, 32, 8);
    std::vector<uint8_t> cs;
    ASSERT_TRUE(imagefile::EncodeJ2k(gray, cs));
    auto box = [](std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
        const uint32_t n = static_cast<uint32_t>(body.size() + 8);
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(n >> s));
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), body.begin(), body.end());
    };
    std::vector<uint8_t> jp2;
    box(jp2, "jP  ", {0x0D, 0x0A, 0x87, 0x0A});
    box(jp2, "ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '});
    box(jp2, "jp2c", cs);
    ASSERT_EQ(imagefile::SniffFormat(jp2.data(), jp2.size()), imagefile::ImageFormat::Jp2);
    CDib fromJp2, fromCodestream;
    ASSERT_TRUE(imagefile::DecodeEncodedPage(jp2.data(), jp2.size(), 0, fromJp2, imagefile::DecodeLimits()))
        << imagefile::LastReadFailure();
    ASSERT_TRUE(
        imagefile::DecodeEncodedPage(cs.data(), cs.size(), 0, fromCodestream, imagefile::DecodeLimits()));
    EXPECT_EQ(MaxDifference(fromJp2, fromCodestream), 0);
    // Without its codestream box the file is refused, and says why.
    std::vector<uint8_t> noCodestream(jp2.begin(), jp2.begin() + 32);
    EXPECT_FALSE(imagefile::DecodeEncodedPage(noCodestream.data(), noCodestream.size(), 0, fromJp2,
                                              imagefile::DecodeLimits()));
    EXPECT_TRUE(Contains(imagefile::LastReadFailure(), "no complete codestream box"));
}
