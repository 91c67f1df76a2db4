// The decision trace as a tree for people (MorvaneGetDecisionTraceText), on a
// small size-filter template set: the same facts as the JSON trace, laid out
// one per line and indented by level.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

std::string TraceText(int* code = nullptr) {
    int n = 0;
    const int first = MorvaneGetDecisionTraceText(nullptr, &n);
    if (code) *code = first;
    if (first != -61 || n <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    if (MorvaneGetDecisionTraceText(reinterpret_cast<MorvaneChar*>(&buffer[0]), &n) != 0) return "<error>";
    std::string out;
    for (size_t i = 0; i + 1 < static_cast<size_t>(n); ++i) out.push_back(static_cast<char>(buffer[i]));
    return out;
}

GroupSpec Node(const char* name, int attached, int action, std::vector<GroupSpec> children = {}) {
    GroupSpec g;
    g.name = name;
    g.attached = attached;
    g.action = action;
    g.children = std::move(children);
    return g;
}

const SubSpec kA4{1, "A4", "A4out", 8268, 11693};
const SubSpec kCard{2, "CARD", "1", 3370, 2126};
const SubSpec kOther{3, "OTHER", "3", 0, 0};

class DecisionTraceTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_.Write("ClasDevices.dat", NullDeviceList());
        ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
        const GroupSpec root =
            Node("root", -1, 1, {Node("other", 3, 0), Node("a4", 1, 1), Node("card", 2, 1)});
        int index = -1;
        ASSERT_EQ(
            AddMainTemplate(
                W(U(WriteTemplateSet(set_, root, {kA4, kCard, kOther}, SizeFilterTemplate(300)).c_str())),
                &index),
            0);
    }
    void TearDown() override { FreeClassifier(); }
    int Run(int w, int h) {
        std::vector<unsigned char> row(static_cast<size_t>(w), 255);
        std::vector<unsigned char*> rows(static_cast<size_t>(h), row.data());
        return ClassifyImageMemory(rows.data(), w, h, 8, 0);
    }
    TempDir work_;
    TempDir set_;
};

TEST_F(DecisionTraceTextTest, LaysOutTheWalkByLevel) {
    int code = 0;
    EXPECT_EQ(TraceText(&code), "<none>");
    EXPECT_EQ(code, MORVANE_ERR_CALL_ORDER);

    ASSERT_EQ(Run(2480, 3508), 0);  // an A4 page at 300 dpi
    const std::string t = TraceText();
    const char* expected[] = {
        "result: A4 \"Name of A4\" (output ID A4out), code 0\n",
        "[0] root: chosen by score\n",
        "  filter 1 \"size\" (size), passes above 750\n",
        "    other [OTHER] default branch\n",
        "  * a4 [A4] 999 passed (filter score: 1 999)\n",
        "    card [CARD] ",
        "    [",  // the second level, four spaces deeper
        "] a4 (A4): final: this group's sub-template is the answer\n",
    };
    size_t at = 0;
    for (const char* line : expected) {
        const size_t found = t.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing, in order: " << line << "\n" << t;
        at = found;
    }

    // Nothing passes: the default branch, and the failed gates.
    ASSERT_EQ(Run(1000, 1000), 0);
    const std::string d = TraceText();
    EXPECT_NE(d.find("[0] root: no child passed: default branch taken\n"), std::string::npos) << d;
    EXPECT_NE(d.find("  * other [OTHER] default branch\n"), std::string::npos) << d;
    EXPECT_NE(d.find("    a4 [A4] 459 failed (filter score: 1 459 (failed))\n"), std::string::npos) << d;
}

}  // namespace
