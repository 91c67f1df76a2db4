// The zone template set (examples/templates/zones.xml) on the photographed and
// scanned specimen documents kept outside the project: every page must come
// out as its class and every zone, decoded, as printed. The printed zones
// are read from the specimens' own README table, not written here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SharedData.h"
#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

constexpr char kFolder[] = "testdata/mrz-specimens";

struct Specimen {
    std::string file;
    std::vector<std::string> lines;  // empty: no zone
};

// Rows "| file.jpg | document | `L1` / `L2` |" of the README.
std::vector<Specimen> ReadTable(const std::string& path) {
    std::vector<Specimen> out;
    std::ifstream in(path);
    std::string row;
    while (std::getline(in, row)) {
        if (row.rfind("| ", 0) != 0 || row.find(".jpg") == std::string::npos) continue;
        Specimen s;
        s.file = row.substr(2, row.find(' ', 2) - 2);
        for (size_t a = row.find('`'); a != std::string::npos; a = row.find('`', a + 1)) {
            const size_t b = row.find('`', a + 1);
            if (b == std::string::npos) break;
            s.lines.push_back(row.substr(a + 1, b - a - 1));
            a = b;
        }
        out.push_back(s);
    }
    return out;
}

std::string ExpectedId(const Specimen& s) {
    if (s.lines.empty()) return "UNKNOWN";
    if (s.lines.size() == 3) return "ZONE-TD1";
    const bool visa = s.lines[0][0] == 'V';
    if (s.lines[0].size() == 44) return visa ? "ZONE-VISA-A" : "ZONE-PASSPORT";
    return visa ? "ZONE-VISA-B" : "ZONE-TD2";
}

std::string ReadOut(int (*getter)(MorvaneChar*, int*)) {
    int n = 0;
    getter(nullptr, &n);
    if (n <= 0) return "";
    std::u16string b(static_cast<size_t>(n), u'\0');
    if (getter(reinterpret_cast<MorvaneChar*>(&b[0]), &n) != 0) return "";
    b.resize(static_cast<size_t>(n - 1));
    return std::string(b.begin(), b.end());
}

#ifdef MORVANE_HAVE_ENGINES
constexpr bool kHaveEngines = true;
#else
constexpr bool kHaveEngines = false;
#endif

}  // namespace

TEST(ZoneSpecimens, EveryClassRightAndEveryZoneValidAfterDecoding) {
    MORVANE_NEED_SHARED_DATA(kFolder);
    if (!kHaveEngines) GTEST_SKIP() << "engine plug-ins are not built (MORVANE_BUILD_ENGINES=OFF)";
    const std::vector<Specimen> specimens = ReadTable(morvane_test::SharedPath(std::string(kFolder) + "/README.md"));
    ASSERT_EQ(specimens.size(), 7u);
    TempDir work;
    work.Write("ClasDevices.dat", NullDeviceList());
    ASSERT_EQ(LoadClassifier(nullptr, W(U(work.path().c_str()))), 0);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U((std::string(MORVANE_SOURCE_DIR) + "/examples/templates/zones.xml").c_str())), &index),
              0);
    for (const Specimen& s : specimens) {
        const std::string path = morvane_test::SharedPath(std::string(kFolder) + "/" + s.file);
        ASSERT_EQ(ClassifyImageFile(W(U(path.c_str())), index), 0) << s.file;
        EXPECT_EQ(ReadOut(GetTemplateID), ExpectedId(s)) << s.file;
        if (s.lines.empty()) continue;
        const std::string zone = ReadOut(MorvaneGetRecognisedZone);
        const size_t decoded = zone.find("\"decoded\":");
        ASSERT_NE(decoded, std::string::npos) << s.file << ": " << zone;
        std::string lines = "\"lines\":[";
        for (size_t i = 0; i < s.lines.size(); ++i) lines += (i ? ",\"" : "\"") + s.lines[i] + "\"";
        lines += "]";
        const std::string id = ExpectedId(s);
        const std::string layout = id == "ZONE-TD1"       ? "TD1"
                                   : id == "ZONE-TD2"     ? "TD2"
                                   : id == "ZONE-VISA-A"  ? "MRV-A"
                                   : id == "ZONE-VISA-B"  ? "MRV-B"
                                                          : "TD3";
        EXPECT_EQ(zone.find("\"decoded\":{\"layout\":\"" + layout + "\",\"valid\":true"), decoded)
            << s.file << ": " << zone;
        EXPECT_NE(zone.find(lines, decoded), std::string::npos) << s.file << ": " << zone;
    }
    FreeClassifier();
}
