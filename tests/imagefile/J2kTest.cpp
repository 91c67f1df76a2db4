// JPEG-2000: the exported functions, the "j2k" file branch, the older
// marker layout, and agreement with OpenJPEG's own command-line tools.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "morvane/classifier.h"

using namespace imagefile_test;

namespace {

uint32_t Be16(const std::vector<uint8_t>& d, size_t at) { return (d[at] << 8) | d[at + 1]; }
uint32_t Be32(const std::vector<uint8_t>& d, size_t at) { return (Be16(d, at) << 16) | Be16(d, at + 2); }

// Marker codes of the main header, in order, up to and including the first SOT.
std::vector<int> MainHeaderMarkers(const std::vector<uint8_t>& cs) {
    std::vector<int> markers = {static_cast<int>(cs[1])};
    size_t p = 2;
    while (p + 4 <= cs.size()) {
        const int m = cs[p + 1];
        markers.push_back(m);
        if (m == 0x90) break;
        p += 2 + Be16(cs, p + 2);
    }
    return markers;
}

// Records for a w x h image with `comps` 8-bit components and one tile.
struct Records {
    j2k_image_t* image = nullptr;
    j2k_cp_t* cp = nullptr;
    Records(int w, int h, int comps, int qmfbid, int numres = 6) {
        image = static_cast<j2k_image_t*>(std::calloc(1, sizeof(j2k_image_t)));
        image->x1 = w;
        image->y1 = h;
        image->numcomps = comps;
        image->comps = static_cast<j2k_comp_t*>(std::calloc(comps, sizeof(j2k_comp_t)));
        for (int c = 0; c < comps; ++c) {
            j2k_comp_t& comp = image->comps[c];
            comp.dx = comp.dy = 1;
            comp.prec = 8;
            comp.data = static_cast<int*>(std::malloc(sizeof(int) * w * h));
            for (int i = 0; i < w * h; ++i) comp.data[i] = (i * (c + 3) + (i / w) * 7) & 0xFF;
        }
        cp = static_cast<j2k_cp_t*>(std::calloc(1, sizeof(j2k_cp_t)));
        cp->tdx = w;
        cp->tdy = h;
        cp->tw = cp->th = 1;
        cp->tcps = static_cast<j2k_tcp_t*>(std::calloc(1, sizeof(j2k_tcp_t)));
        cp->tcps[0].numlayers = 1;
        cp->tcps[0].rates[0] = w * h * 100;
        cp->tcps[0].mct = comps == 3 ? 1 : 0;
        cp->tcps[0].tccps = static_cast<j2k_tccp_t*>(std::calloc(comps, sizeof(j2k_tccp_t)));
        for (int c = 0; c < comps; ++c) {
            j2k_tccp_t& t = cp->tcps[0].tccps[c];
            t.numresolutions = numres;
            t.cblkw = t.cblkh = 6;
            t.qmfbid = qmfbid;
            t.qntsty = qmfbid == 1 ? 0 : 2;
            t.numgbits = 2;
        }
    }
    ~Records() { j2k_destroy(&image, &cp); }
    std::vector<uint8_t> Encode() {
        std::vector<uint8_t> buf(static_cast<size_t>(image->x1) * image->y1 * image->numcomps * 2 + 4096);
        const int n = j2k_encode(image, cp, buf.data(), static_cast<int>(buf.size()));
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }
};

TEST(J2kExports, CodestreamLayoutAndComment) {
    Records rec(40, 30, 3, 0);
    const auto cs = rec.Encode();
    ASSERT_FALSE(cs.empty());
    // SOC, SIZ, COD, QCD in the main header, then the comment, then the tiles.
    const std::vector<int> expected = {0x4F, 0x51, 0x52, 0x5C, 0x64, 0x90};
    EXPECT_EQ(MainHeaderMarkers(cs), expected);
    const std::string text(cs.begin(), cs.end());
    const size_t at = text.find("Creator: J2000 codec");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(Be16(cs, at - 6), 0xFF64u);
    EXPECT_EQ(Be16(cs, at - 2), 0u);  // Rcom 0
    EXPECT_EQ(Be16(cs, cs.size() - 2), 0xFFD9u);
}

TEST(J2kExports, LosslessRoundTripThroughRecords) {
    for (int comps : {1, 3, 2, 4}) {
        Records rec(37, 23, comps, 1, 3);
        const auto cs = rec.Encode();
        ASSERT_FALSE(cs.empty()) << comps;
        j2k_image_t* img = nullptr;
        j2k_cp_t* cp = nullptr;
        std::vector<uint8_t> copy = cs;
        EXPECT_EQ(j2k_decode(copy.data(), static_cast<int>(copy.size()), &img, &cp),
                  static_cast<int>(cs.size()));
        ASSERT_NE(img, nullptr);
        ASSERT_NE(cp, nullptr);
        EXPECT_EQ(img->x1, 37);
        EXPECT_EQ(img->y1, 23);
        ASSERT_EQ(img->numcomps, comps);
        for (int c = 0; c < comps; ++c) {
            EXPECT_EQ(img->comps[c].prec, 8);
            EXPECT_EQ(std::memcmp(img->comps[c].data, rec.image->comps[c].data, sizeof(int) * 37 * 23), 0)
                << c;
        }
        EXPECT_EQ(cp->tw * cp->th, 1);
        ASSERT_NE(cp->tcps[0].tccps, nullptr);
        EXPECT_EQ(cp->tcps[0].tccps[0].qmfbid, 1);
        EXPECT_EQ(cp->tcps[0].tccps[0].numresolutions, 3);
        EXPECT_EQ(cp->tcps[0].tccps[0].cblkw, 6);
        j2k_destroy(&img, &cp);
        EXPECT_EQ(img, nullptr);
        EXPECT_EQ(cp, nullptr);
    }
}

TEST(J2kExports, ConsumedLengthAndMissingEnd) {
    Records rec(32, 32, 1, 0);
    const auto cs = rec.Encode();
    ASSERT_FALSE(cs.empty());
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int expected;
    } cases[] = {
        {"trailing bytes", cs, static_cast<int>(cs.size())},
        {"no EOC", std::vector<uint8_t>(cs.begin(), cs.end() - 2), 0},
        {"half", std::vector<uint8_t>(cs.begin(), cs.begin() + static_cast<long>(cs.size() / 2)), 0},
        {"header only", std::vector<uint8_t>(cs.begin(), cs.begin() + 10), 0},
        {"not a codestream", std::vector<uint8_t>(64, 0x42), 0},
    };
    cases[0].bytes.insert(cases[0].bytes.end(), {1, 2, 3, 4, 5});
    for (auto& c : cases) {
        j2k_image_t* img = nullptr;
        j2k_cp_t* cp = nullptr;
        EXPECT_EQ(j2k_decode(c.bytes.data(), static_cast<int>(c.bytes.size()), &img, &cp), c.expected)
            << c.name;
        j2k_destroy(&img, &cp);
        EXPECT_EQ(img, nullptr);
        EXPECT_EQ(cp, nullptr);
    }
    EXPECT_EQ(j2k_decode(nullptr, 10, nullptr, nullptr), 0);
    std::vector<uint8_t> small(10);
    EXPECT_EQ(j2k_encode(rec.image, rec.cp, small.data(), 10), 0);  // buffer too small
}

TEST(J2kExports, FailedDecodeStillHandsBackItsRecords) {
    Records rec(32, 32, 1, 0);
    auto cs = rec.Encode();
    ASSERT_FALSE(cs.empty());
    // A SIZ marker inside the tile-part header is not allowed there: the
    // header reads, the tile does not.
    size_t sot = 2;
    while (!(cs[sot] == 0xFF && cs[sot + 1] == 0x90)) sot += 2 + Be16(cs, sot + 2);
    const size_t sizLen = 2 + Be16(cs, 4);
    std::vector<uint8_t> siz(cs.begin() + 2, cs.begin() + 2 + static_cast<long>(sizLen));
    const uint32_t psot = Be32(cs, sot + 6) + static_cast<uint32_t>(sizLen);
    cs[sot + 6] = psot >> 24, cs[sot + 7] = psot >> 16, cs[sot + 8] = psot >> 8, cs[sot + 9] = psot;
    cs.insert(cs.begin() + static_cast<long>(sot + 12), siz.begin(), siz.end());
    j2k_image_t* img = nullptr;
    j2k_cp_t* cp = nullptr;
    EXPECT_EQ(j2k_decode(cs.data(), static_cast<int>(cs.size()), &img, &cp), 0);
    EXPECT_NE(img, nullptr);
    EXPECT_NE(cp, nullptr);
    j2k_destroy(&img, &cp);
    EXPECT_EQ(img, nullptr);
    EXPECT_EQ(cp, nullptr);
}

TEST(J2kExports, RefusesInconsistentRecords) {
    Records rec(16, 16, 1, 0);
    std::vector<uint8_t> buf(100000);
    struct Case {
        const char* name;
        void (*damage)(Records&);
    } cases[] = {
        {"no components", [](Records& r) { r.image->numcomps = 0; }},
        {"empty area", [](Records& r) { r.image->x1 = 0; }},
        {"zero sub-sampling", [](Records& r) { r.image->comps[0].dx = 0; }},
        {"precision 0", [](Records& r) { r.image->comps[0].prec = 0; }},
        {"no layers", [](Records& r) { r.cp->tcps[0].numlayers = 0; }},
        {"code-block too big", [](Records& r) { r.cp->tcps[0].tccps[0].cblkw = 11; }},
        {"progression 7", [](Records& r) { r.cp->tcps[0].prg = 7; }},
        // Canvas coordinates whose rounding to the sub-sampling grid would
        // leave the 32-bit range.
        {"origin near the top of the range",
         [](Records& r) {
             r.image->x0 = INT_MAX - 8;
             r.image->x1 = INT_MAX;
             r.image->comps[0].dx = 255;
         }},
        {"tile grid beyond the range",
         [](Records& r) {
             r.cp->tx0 = INT_MAX - 4;
             r.cp->tdx = 255;
         }},
    };
    for (const auto& c : cases) {
        Records r(16, 16, 1, 0);
        c.damage(r);
        EXPECT_EQ(j2k_encode(r.image, r.cp, buf.data(), static_cast<int>(buf.size())), 0) << c.name;
        if (r.image->numcomps == 0) r.image->numcomps = 1;  // let destroy free the component
    }
    EXPECT_GT(j2k_encode(rec.image, rec.cp, buf.data(), static_cast<int>(buf.size())), 0);
}

// ---------------------------------------------------------------- file branch

TEST(J2kFiles, ComponentCountsOtherThanOneOrThreeAreRefused) {
    for (int comps : {1, 2, 3, 4}) {
        Records rec(24, 16, comps, 1, 3);
        const auto cs = rec.Encode();
        ASSERT_FALSE(cs.empty());
        const std::string path = TempPath("comps" + std::to_string(comps) + ".j2k");
        ASSERT_TRUE(WriteBytes(path, cs));
        CRawImage img;
        const bool readable = comps == 1 || comps == 3;
        EXPECT_EQ(imagefile::LoadImageFile(img, U16(path)), readable) << comps;  // "wrong frame!"
        if (!readable) continue;
        ASSERT_EQ(img.bitCount, comps == 1 ? 8 : 24);
        EXPECT_EQ(img.xResolution, 300);
        // Component 0 is red, the third byte of a pixel.
        const int n = comps == 1 ? 1 : 3;
        EXPECT_EQ(img.Row(5)[n * 7 + (n - 1)], rec.image->comps[0].data[5 * 24 + 7]);
        if (comps == 3) {
            EXPECT_EQ(img.Row(5)[n * 7], rec.image->comps[2].data[5 * 24 + 7]);
        }
    }
}

TEST(J2kFiles, DeeperSamplesKeepTheirHighBits) {
    Records rec(16, 8, 1, 1, 2);
    rec.image->comps[0].prec = 12;
    for (int i = 0; i < 16 * 8; ++i) rec.image->comps[0].data[i] = i * 31;  // up to 3937
    const auto cs = rec.Encode();
    ASSERT_FALSE(cs.empty());
    const std::string path = TempPath("deep.j2k");
    ASSERT_TRUE(WriteBytes(path, cs));
    CRawImage img;
    ASSERT_TRUE(imagefile::LoadImageFile(img, U16(path)));
    for (int i = 0; i < 16 * 8; i += 9) EXPECT_EQ(img.Row(i / 16)[i % 16], (i * 31) >> 4) << i;
}

// Moves COD and QCD of a codestream from the main header into the tile-part
// header, the layout older files of this system have.
std::vector<uint8_t> ToOldLayout(const std::vector<uint8_t>& cs) {
    std::vector<uint8_t> main = {cs[0], cs[1]}, moved;
    size_t p = 2;
    while (!(cs[p] == 0xFF && cs[p + 1] == 0x90)) {
        const size_t len = 2 + Be16(cs, p + 2);
        auto& dst = (cs[p + 1] == 0x52 || cs[p + 1] == 0x5C) ? moved : main;
        dst.insert(dst.end(), cs.begin() + static_cast<long>(p), cs.begin() + static_cast<long>(p + len));
        p += len;
    }
    std::vector<uint8_t> out = main;
    std::vector<uint8_t> sot(cs.begin() + static_cast<long>(p), cs.begin() + static_cast<long>(p + 12));
    const uint32_t psot = Be32(cs, p + 6) + static_cast<uint32_t>(moved.size());
    sot[6] = psot >> 24, sot[7] = psot >> 16, sot[8] = psot >> 8, sot[9] = psot;
    out.insert(out.end(), sot.begin(), sot.end());
    out.insert(out.end(), moved.begin(), moved.end());
    out.insert(out.end(), cs.begin() + static_cast<long>(p + 12), cs.end());
    return out;
}

TEST(J2kFiles, OlderMarkerLayoutStillReads) {
    for (int bpp : {8, 24}) {
        CRawImage page;
        MakePage(page, 90, 70, bpp);
        const std::string path = TempPath("layout_new" + std::to_string(bpp) + ".j2k");
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
        const auto old = ToOldLayout(ReadBytes(path));
        const std::vector<int> oldMain = {0x4F, 0x51, 0x64, 0x90};
        ASSERT_EQ(MainHeaderMarkers(old), oldMain);
        const std::string oldPath = TempPath("layout_old" + std::to_string(bpp) + ".j2k");
        ASSERT_TRUE(WriteBytes(oldPath, old));
        CRawImage a, b;
        ASSERT_TRUE(imagefile::LoadImageFile(a, U16(path)));
        ASSERT_TRUE(imagefile::LoadImageFile(b, U16(oldPath))) << bpp;
        EXPECT_EQ(MaxDifference(a, b), 0);
        std::vector<uint8_t> copy = old;
        j2k_image_t* img = nullptr;
        j2k_cp_t* cp = nullptr;
        EXPECT_EQ(j2k_decode(copy.data(), static_cast<int>(copy.size()), &img, &cp),
                  static_cast<int>(old.size()));
        j2k_destroy(&img, &cp);
    }
}

// ---------------------------------------------------------------- OpenJPEG tools

bool HaveTools() {
    return std::system(
               "command -v opj_compress >/dev/null 2>&1 && command -v opj_decompress >/dev/null 2>&1") == 0;
}

int RunTool(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

void WritePnm(const CDib& img, const std::string& path) {
    std::ostringstream head;
    head << (img.bitCount == 8 ? "P5" : "P6") << "\n" << img.width << " " << img.height << "\n255\n";
    std::string h = head.str();
    std::vector<uint8_t> out(h.begin(), h.end());
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            if (img.bitCount == 8) {
                out.push_back(img.Row(y)[x]);
            } else {
                const uint8_t* p = img.Row(y) + 3 * x;
                out.insert(out.end(), {p[2], p[1], p[0]});
            }
        }
    ASSERT_TRUE(WriteBytes(path, out));
}

bool ReadPnm(const std::string& path, CDib& img) {
    const auto d = ReadBytes(path);
    size_t p = 0;
    auto token = [&]() {
        std::string t;
        while (p < d.size()) {
            if (d[p] == '#') {
                while (p < d.size() && d[p] != '\n') ++p;
            } else if (std::isspace(d[p])) {
                ++p;
            } else {
                break;
            }
        }
        while (p < d.size() && !std::isspace(d[p])) t.push_back(static_cast<char>(d[p++]));
        return t;
    };
    const std::string magic = token();
    const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str()),
              maxv = std::atoi(token().c_str());
    ++p;
    const int n = magic == "P5" ? 1 : magic == "P6" ? 3 : 0;
    if (!n || maxv != 255 || d.size() < p + size_t(w) * h * n) return false;
    if (!img.Create(w, h, n == 1 ? 8 : 24, 300)) return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = &d[p + (size_t(y) * w + x) * n];
            if (n == 1) {
                img.Row(y)[x] = s[0];
            } else {
                img.Row(y)[3 * x] = s[2], img.Row(y)[3 * x + 1] = s[1], img.Row(y)[3 * x + 2] = s[0];
            }
        }
    return true;
}

TEST(J2kOpenJpegTools, WhatWeWriteOpjDecompressReads) {
    if (!HaveTools()) GTEST_SKIP() << "OpenJPEG tools not installed";
    for (int bpp : {8, 24}) {
        CRawImage page;
        MakePage(page, 211, 157, bpp);
        const std::string j2k = TempPath("ours" + std::to_string(bpp) + ".j2k");
        const std::string pnm = TempPath("ours" + std::to_string(bpp) + (bpp == 8 ? ".pgm" : ".ppm"));
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(j2k), 0));
        ASSERT_EQ(RunTool("opj_decompress -i '" + j2k + "' -o '" + pnm + "'"), 0);
        CRawImage theirs;
        ASSERT_TRUE(ReadPnm(pnm, theirs));
        EXPECT_LE(MaxDifference(page, theirs), 3) << bpp;
    }
}

TEST(J2kOpenJpegTools, WhatOpjCompressWritesWeRead) {
    if (!HaveTools()) GTEST_SKIP() << "OpenJPEG tools not installed";
    struct Case {
        const char* options;
        int bpp;
        int tolerance;
    } cases[] = {
        {"", 8, 0},  // reversible 5-3, lossless
        {"", 24, 0},
        {"-t 64,64", 8, 0},
        {"-t 100,37", 24, 0},
        {"-n 2", 8, 0},
        {"-n 8", 24, 0},
        {"-c [64,64],[32,32]", 8, 0},
        {"-r 40,10,1", 24, 0},  // three layers, the last lossless
        {"-p RPCL -SOP -EPH", 24, 0},
        {"-p CPRL -b 16,16", 8, 0},
        {"-mct 0", 24, 0},
        {"-M 63 -t 128,128", 8, 0},  // every code-block style flag
        {"-I", 8, -1},               // irreversible 9-7: judged against opj_decompress alone
        {"-I -t 50,50", 24, -1},
        {"-I -r 20", 24, -1},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " " + std::to_string(c.bpp));
        CRawImage page;
        MakePage(page, 300, 211, c.bpp);
        const std::string base = TempPath("theirs" + std::to_string(index++));
        const std::string pnm = base + (c.bpp == 8 ? ".pgm" : ".ppm");
        WritePnm(page, pnm);
        ASSERT_EQ(RunTool("opj_compress -i '" + pnm + "' -o '" + base + ".j2k' " + c.options), 0);
        CRawImage ours, theirs;
        ASSERT_TRUE(imagefile::LoadImageFile(ours, U16(base + ".j2k")));
        const std::string decoded = base + "_opj" + (c.bpp == 8 ? ".pgm" : ".ppm");
        ASSERT_EQ(RunTool("opj_decompress -i '" + base + ".j2k' -o '" + decoded + "'"), 0);
        ASSERT_TRUE(ReadPnm(decoded, theirs));
        EXPECT_EQ(MaxDifference(ours, theirs), 0);
        if (c.tolerance >= 0) {
            EXPECT_EQ(MaxDifference(page, ours), c.tolerance);
        }
    }
}

TEST(J2kOpenJpegTools, OlderLayoutNeedsTheFixOpjRefusesIt) {
    if (!HaveTools()) GTEST_SKIP() << "OpenJPEG tools not installed";
    CRawImage page;
    MakePage(page, 64, 64, 8);
    const std::string path = TempPath("old_tool.j2k");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
    const std::string oldPath = TempPath("old_tool_moved.j2k");
    ASSERT_TRUE(WriteBytes(oldPath, ToOldLayout(ReadBytes(path))));
    EXPECT_NE(RunTool("opj_decompress -i '" + oldPath + "' -o '" + TempPath("old_tool.pgm") + "'"), 0);
    CRawImage ours;
    EXPECT_TRUE(imagefile::LoadImageFile(ours, U16(oldPath)));
}

}  // namespace
