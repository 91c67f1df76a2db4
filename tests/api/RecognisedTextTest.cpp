// Reading back the recognised text and reading machine-readable zones,
// through the exported functions: call order and the length protocol, the
// zone reader on given text, and the bundled text example pages (which need
// the engine plug-ins and Tesseract's English data).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// A getter's whole text through the length protocol, or "<code N>".
template <typename Getter>
std::string Read(Getter getter) {
    int n = 0;
    const int asked = getter(nullptr, &n);
    if (asked != -61 || n <= 0) return "<code " + std::to_string(asked) + ">";
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    const int code = getter(reinterpret_cast<MorvaneChar*>(&buffer[0]), &n);
    if (code != 0) return "<code " + std::to_string(code) + ">";
    buffer.resize(static_cast<size_t>(n - 1));
    return Narrow(buffer);
}

std::string ParseZone(const std::string& zone) {
    const std::u16string z = U(zone.c_str());
    return Read([&](MorvaneChar* b, int* n) { return MorvaneParseMrz(W(z), b, n); });
}

struct Line {
    std::string text;
    int box[4] = {-1, -1, -1, -1};
};

std::vector<Line> Lines() {
    std::vector<Line> out;
    int count = -1;
    if (MorvaneGetRecognisedLineCount(&count) != 0) return out;
    for (int i = 0; i < count; ++i) {
        Line l;
        l.text = Read(
            [&](MorvaneChar* b, int* n) { return MorvaneGetRecognisedLine(i, b, n, b ? l.box : nullptr); });
        out.push_back(l);
    }
    return out;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Where the engine plug-in looks for Tesseract's English data.
bool HaveEnglishData() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("TESSDATA_PREFIX"); env && *env) dirs.push_back(std::string(env) + "/");
    for (const char* d : {"/usr/share/tesseract-ocr/5/tessdata/", "/usr/share/tesseract-ocr/4.00/tessdata/",
                          "/usr/share/tessdata/", "/usr/local/share/tessdata/"})
        dirs.push_back(d);
    for (const auto& d : dirs)
        if (Exists(d + "eng.traineddata")) return true;
    return false;
}

#ifdef MORVANE_HAVE_ENGINES
constexpr bool kHaveEngines = true;
#else
constexpr bool kHaveEngines = false;
#endif

const char kTD3[] =
    "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<\nL898902C36UTO7408122F1204159ZE184226B<<<<<10";

}  // namespace

TEST(RecognisedText, CallOrderAndLengthProtocol) {
    int count = 7, n = 5, box[4] = {0, 0, 0, 0};
    MorvaneChar buffer[8];
    EXPECT_EQ(MorvaneGetRecognisedText(buffer, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(MorvaneGetRecognisedLineCount(&count), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(MorvaneGetRecognisedLine(0, buffer, &n, box), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(MorvaneGetRecognisedZone(buffer, &n), MORVANE_ERR_UNINITIALIZED);

    TempDir work;
    work.Write("ClasDevices.dat", NullDeviceList());
    ASSERT_EQ(LoadClassifier(nullptr, W(U(work.path().c_str()))), 0);
    EXPECT_EQ(MorvaneGetRecognisedText(buffer, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetRecognisedLineCount(nullptr), MORVANE_ERR_INVALID_PARAMETER);
    // Asked before any classification: the call-order code and nothing.
    n = 5;
    EXPECT_EQ(MorvaneGetRecognisedText(buffer, &n), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(MorvaneGetRecognisedLineCount(&count), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(count, 0);
    n = 5;
    EXPECT_EQ(MorvaneGetRecognisedLine(0, buffer, &n, box), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(n, 0);
    n = 5;
    EXPECT_EQ(MorvaneGetRecognisedZone(buffer, &n), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(MorvaneGetRecognisedZone(buffer, nullptr), MORVANE_ERR_INVALID_PARAMETER);

    // A page classified with a template set that has no text filter: an
    // answer, and no lines.
    TempDir set;
    GroupSpec root;
    root.name = "root";
    root.attached = -1;
    GroupSpec a4;
    a4.name = "a4";
    a4.attached = 1;
    root.children = {a4};
    int index = -1;
    ASSERT_EQ(
        AddMainTemplate(
            W(U(WriteTemplateSet(set, root, {{1, "A4", "1", 8268, 11693}}, SizeFilterTemplate(300)).c_str())),
            &index),
        0);
    std::vector<unsigned char> row(2480, 255);
    std::vector<unsigned char*> rows(3508, row.data());
    ASSERT_EQ(ClassifyImageMemory(rows.data(), 2480, 3508, 8, index), 0);
    EXPECT_EQ(Read(MorvaneGetRecognisedText),
              "{\"page\":{\"width\":2480,\"height\":3508},\"turn\":0,\"lines\":[]}");
    EXPECT_EQ(MorvaneGetRecognisedLineCount(&count), 0);
    EXPECT_EQ(count, 0);
    n = 8;
    EXPECT_EQ(MorvaneGetRecognisedLine(0, buffer, &n, box), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(MorvaneGetRecognisedLine(-1, buffer, &n, box), MORVANE_ERR_INVALID_PARAMETER);
    // Too small a buffer: the length needed and -62.
    n = 4;
    EXPECT_EQ(MorvaneGetRecognisedText(buffer, &n), MORVANE_ERR_NO_MEMORY);
    EXPECT_GT(n, 4);
    FreeClassifier();
    EXPECT_EQ(MorvaneGetRecognisedLineCount(&count), MORVANE_ERR_UNINITIALIZED);
}

TEST(RecognisedText, ParseMrzNeedsNoClassifierAndReportsBadZones) {
    int n = 0;
    EXPECT_EQ(MorvaneParseMrz(nullptr, nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    const std::u16string zone = U(kTD3);
    EXPECT_EQ(MorvaneParseMrz(W(zone), nullptr, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    const std::string good = ParseZone(kTD3);
    EXPECT_NE(good.find("\"layout\":\"TD3\",\"valid\":true"), std::string::npos) << good;
    EXPECT_NE(good.find("\"documentNumber\":{\"value\":\"L898902C3\",\"check\":\"6\",\"valid\":true}"),
              std::string::npos)
        << good;

    std::string wrong = kTD3;
    wrong[wrong.size() - 1] = '9';  // composite
    const std::string bad = ParseZone(wrong);
    EXPECT_NE(bad.find("\"valid\":false"), std::string::npos) << bad;
    EXPECT_NE(bad.find("\"composite\":{\"check\":\"9\",\"valid\":false}"), std::string::npos) << bad;
    const std::string cut = ParseZone(std::string(kTD3).substr(0, 60));
    EXPECT_NE(cut.find("\"layout\":\"TD3\",\"valid\":false"), std::string::npos) << cut;
    EXPECT_EQ(cut.find("documentNumber"), std::string::npos) << cut;

    // Text far longer than any zone is refused, not read.
    const std::u16string huge(70000, u'<');
    n = 0;
    EXPECT_EQ(MorvaneParseMrz(W(huge), nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(n, 0);
    // Parsing never decodes: the object is the zone as read alone.
    EXPECT_EQ(bad.find("\"decoded\""), std::string::npos) << bad;
}

TEST(RecognisedText, DecodeMrzKeepsTheRawZoneAndListsItsChanges) {
    int n = 0;
    EXPECT_EQ(MorvaneDecodeMrz(nullptr, nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    // O read for 0 in the birth date: the raw zone fails, the decoded holds.
    std::string misread = kTD3;
    misread.replace(misread.find("7408122F"), 8, "74O8122F");
    const std::u16string z = U(misread.c_str());
    EXPECT_EQ(MorvaneDecodeMrz(W(z), nullptr, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    const std::string d = Read([&](MorvaneChar* b, int* len) { return MorvaneDecodeMrz(W(z), b, len); });
    EXPECT_EQ(d.rfind("{\"layout\":\"TD3\",\"valid\":false", 0), 0u) << d;
    EXPECT_NE(d.find("\"rawValid\":false,\"decoded\":{\"layout\":\"TD3\",\"valid\":true"), std::string::npos)
        << d;
    EXPECT_NE(
        d.find("\"changes\":[{\"line\":1,\"position\":15,\"from\":\"O\",\"to\":\"0\",\"reason\":\"class\"}]"),
        std::string::npos)
        << d;
    const std::u16string huge(70000, u'<');
    n = 0;
    EXPECT_EQ(MorvaneDecodeMrz(W(huge), nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(n, 0);
}

// The bundled text examples: the passport's and the visa's zones are read
// back as recognised, boxed at the foot of the page, and read as zones whose
// check digits hold exactly when the recognised lines are the printed ones.
class RecognisedTextPages : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kHaveEngines) GTEST_SKIP() << "engine plug-ins are not built (MORVANE_BUILD_ENGINES=OFF)";
        if (!HaveEnglishData()) GTEST_SKIP() << "Tesseract's English data (eng.traineddata) is not installed";
        work_.Write("ClasDevices.dat", NullDeviceList());
        ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
        const std::u16string main =
            U((std::string(MORVANE_SOURCE_DIR) + "/examples/templates/text.xml").c_str());
        ASSERT_EQ(AddMainTemplate(W(main), &index_), 0);
    }
    void TearDown() override {
        MorvaneSetOrientationSearch(0);
        FreeClassifier();
    }
    int Classify(const char* page, int dpi) {
        SetPixelResolution(dpi, dpi, index_);
        const std::u16string path =
            U((std::string(MORVANE_SOURCE_DIR) + "/examples/pages/text/" + page).c_str());
        return ClassifyImageFile(W(path), index_);
    }
    TempDir work_;
    int index_ = -1;
};

TEST_F(RecognisedTextPages, ZonesOfThePassportAndVisaPages) {
    struct Page {
        const char* path;
        int dpi;
        const char* id;
        const char* line1;
        const char* line2;
        const char* layout;
    };
    // The printed zones (examples/pages/text/expected.txt).
    const Page pages[] = {
        {"400dpi/TEXT-PASSPORT_mrz.tif", 400, "TEXT-PASSPORT", "P<UTOKOWALSKI<<CHIDI<<<<<<<<<<<<<<<<<<<<<<<<",
         "4546813212UTO4402118F3309162889262652<<<<<24", "TD3"},
        {"400dpi/TEXT-VISA_mrz.tif", 400, "TEXT-VISA", "V<UTOKOWALSKI<<CHIDI<<<<<<<<<<<<<<<<<<<<<<<<",
         "ZA60970935UTO8506254M3008247V33656730<<<<<<<", "MRV-A"},
        {"300dpi/TEXT-PASSPORT_mrz.png", 300, "TEXT-PASSPORT", "P<UTOOKAFOR<<YUKI<<<<<<<<<<<<<<<<<<<<<<<<<<<",
         "7R17842471UTO4212124F3407161529389330<<<<<44", "TD3"},
    };
    for (const Page& p : pages) {
        SCOPED_TRACE(p.path);
        ASSERT_EQ(Classify(p.path, p.dpi), 0);
        MorvaneChar id[32];
        int n = 32;
        ASSERT_EQ(GetTemplateID(id, &n), 0);
        EXPECT_EQ(Narrow(std::u16string(reinterpret_cast<char16_t*>(id), static_cast<size_t>(n - 1))), p.id);

        const std::vector<Line> lines = Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].text, p.line1);  // the name line reads cleanly on every page
        const std::string json = Read(MorvaneGetRecognisedText);
        EXPECT_NE(json.find("\"filterName\":\"Machine-readable zone\""), std::string::npos) << json;
        EXPECT_NE(json.find(std::string("\"template\":\"") + p.id + "\""), std::string::npos) << json;
        // Boxes: inside the filter's region (the foot of the page, from 75 %
        // of its height), the second line below the first, each a long line.
        const std::string pageSize = json.substr(0, json.find('}'));
        const int width = std::atoi(pageSize.c_str() + pageSize.find("\"width\":") + 8);
        const int height = std::atoi(pageSize.c_str() + pageSize.find("\"height\":") + 9);
        for (const Line& l : lines) {
            EXPECT_GE(l.box[1], height * 3 / 4);
            EXPECT_LE(l.box[1] + l.box[3], height);
            EXPECT_GT(l.box[2], width / 2);
            EXPECT_GE(l.box[0], 0);
            EXPECT_LE(l.box[0] + l.box[2], width);
        }
        EXPECT_GT(lines[1].box[1], lines[0].box[1] + lines[0].box[3] / 2);

        // The zone is valid exactly when both lines were read as printed; a
        // misread that the check digits catch is reported, never corrected.
        const std::string zone = ParseZone(lines[0].text + "\n" + lines[1].text);
        const bool asPrinted = lines[1].text == p.line2;
        EXPECT_NE(zone.find(std::string("\"layout\":\"") + p.layout +
                            "\",\"valid\":" + (asPrinted ? "true" : "false")),
                  std::string::npos)
            << zone;
        if (!asPrinted) {
            EXPECT_NE(zone.find("does not match"), std::string::npos) << zone;
        }
        // Decoded with the engine's candidates, the zone holds, the raw
        // reading stays beside it and every change is listed.
        const std::string decoded = Read(MorvaneGetRecognisedZone);
        EXPECT_NE(decoded.find(std::string("\"layout\":\"") + p.layout +
                               "\",\"valid\":" + (asPrinted ? "true" : "false")),
                  std::string::npos)
            << decoded;
        EXPECT_NE(decoded.find(std::string("\"decoded\":{\"layout\":\"") + p.layout + "\",\"valid\":true"),
                  std::string::npos)
            << decoded;
        EXPECT_NE(decoded.find(asPrinted ? "\"changes\":[]" : "\"reason\":"), std::string::npos) << decoded;
        // The trace notes the expected and recognised line per compared child.
        const std::string trace = Read(MorvaneGetDecisionTrace);
        EXPECT_NE(
            trace.find(
                "\"notes\":[{\"filter\":4,\"method\":3,\"recognisedLines\":2,\"lines\":[{\"expected\":"),
            std::string::npos)
            << trace;
        EXPECT_NE(trace.find(std::string("\"recognised\":\"") + lines[0].text + "\""), std::string::npos);
    }
    // The 400-dpi passport is read as printed: a valid zone with its fields.
    ASSERT_EQ(Classify("400dpi/TEXT-PASSPORT_mrz.tif", 400), 0);
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string zone = ParseZone(lines[0].text + "\n" + lines[1].text);
    for (const char* part : {"\"valid\":true", "\"primaryName\":\"KOWALSKI\"", "\"secondaryName\":\"CHIDI\"",
                             "\"documentNumber\":{\"value\":\"454681321\",\"check\":\"2\",\"valid\":true}",
                             "\"birthDate\":{\"value\":\"440211\",\"check\":\"8\",\"valid\":true}",
                             "\"expiryDate\":{\"value\":\"330916\",\"check\":\"2\",\"valid\":true}",
                             "\"composite\":{\"check\":\"4\",\"valid\":true}"})
        EXPECT_NE(zone.find(part), std::string::npos) << part << " in " << zone;
}

TEST_F(RecognisedTextPages, TitlesAreNotZonesAndNotesStayShort) {
    ASSERT_EQ(Classify("300dpi/TEXT-DRIVING_title.png", 300), 0);
    const std::vector<Line> lines = Lines();
    ASSERT_FALSE(lines.empty());
    std::string text;
    for (const Line& l : lines) text += l.text + "\n";
    const std::string zone = ParseZone(text);
    EXPECT_NE(zone.find("\"valid\":false"), std::string::npos) << zone;
    EXPECT_EQ(zone.find("documentNumber"), std::string::npos) << zone;
    // Every text shown in a note is at most 48 characters and "...".
    const std::string trace = Read(MorvaneGetDecisionTrace);
    for (const char* key : {"\"expected\":\"", "\"recognised\":\""}) {
        for (size_t at = trace.find(key); at != std::string::npos; at = trace.find(key, at + 1)) {
            const size_t start = at + std::string(key).size();
            size_t end = start;
            while (end < trace.size() && trace[end] != '"') end += trace[end] == '\\' ? 2 : 1;
            EXPECT_LE(end - start, 51u + 8u) << trace.substr(start, end - start);  // escapes count double
        }
    }
}
