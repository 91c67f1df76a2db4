// The decision trace and the page orientation search, through the exported
// functions on small size-filter template sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

std::string Trace() {
    int n = 0;
    if (MorvaneGetDecisionTrace(nullptr, &n) != -61 || n <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    if (MorvaneGetDecisionTrace(reinterpret_cast<MorvaneChar*>(&buffer[0]), &n) != 0) return "<error>";
    std::string out;
    for (size_t i = 0; i + 1 < static_cast<size_t>(n); ++i) out.push_back(static_cast<char>(buffer[i]));
    return out;
}

std::string Id() {
    MorvaneChar buffer[32];
    int n = 32;
    if (GetTemplateID(buffer, &n) != 0) return "<none>";
    return std::string(buffer, buffer + n - 1);
}

struct GrayPage {
    std::vector<unsigned char> row;
    std::vector<unsigned char*> rows;
    GrayPage(int w, int h) : row(static_cast<size_t>(w), 255), rows(static_cast<size_t>(h), row.data()) {}
};

GroupSpec Leaf(const char* name, int attached, int action = 1) {
    GroupSpec g;
    g.name = name;
    g.attached = attached;
    g.action = action;
    return g;
}

// 300 dpi: A4 is 2480 x 3508 pixels, an ID-1 card 1011 x 638.
const SubSpec kA4{1, "A4", "A4out", 8268, 11693};
const SubSpec kCard{2, "CARD", "1", 3370, 2126};
const SubSpec kOther{3, "OTHER", "3", 0, 0};

class DecisionTraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_.Write("ClasDevices.dat", NullDeviceList());
        ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
        GroupSpec root;
        root.name = "root";
        root.attached = -1;
        root.children = {Leaf("other", 3, 0), Leaf("a4", 1), Leaf("card", 2)};
        int index = -1;
        ASSERT_EQ(
            AddMainTemplate(
                W(U(WriteTemplateSet(set_, root, {kA4, kCard, kOther}, SizeFilterTemplate(300)).c_str())),
                &index),
            0);
    }
    void TearDown() override {
        MorvaneSetOrientationSearch(0);
        FreeClassifier();
    }
    int Run(int w, int h) {
        GrayPage page(w, h);
        return ClassifyImageMemory(page.rows.data(), w, h, 8, 0);
    }
    static int Turn() {
        int degrees = -1;
        return MorvaneGetPageTurn(&degrees) == 0 ? degrees : -1;
    }

    TempDir work_;
    TempDir set_;
};

TEST_F(DecisionTraceTest, CallOrderAndLengthProtocol) {
    int n = 99;
    MorvaneChar small[4];
    EXPECT_EQ(MorvaneGetDecisionTrace(small, &n), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(n, 0);
    int degrees = 7;
    EXPECT_EQ(MorvaneGetPageTurn(&degrees), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(MorvaneGetDecisionTrace(small, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetPageTurn(nullptr), MORVANE_ERR_INVALID_PARAMETER);

    ASSERT_EQ(Run(2480, 3508), 0);
    n = 0;
    EXPECT_EQ(MorvaneGetDecisionTrace(nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    const int needed = n;
    EXPECT_GT(needed, 100);
    n = 4;
    EXPECT_EQ(MorvaneGetDecisionTrace(small, &n), MORVANE_ERR_NO_MEMORY);
    EXPECT_EQ(n, needed);
    EXPECT_EQ(Turn(), 0);

    // After loading again there is no trace; not loaded at all: -60.
    ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
    n = 50;
    EXPECT_EQ(MorvaneGetDecisionTrace(nullptr, &n), MORVANE_ERR_CALL_ORDER);
    FreeClassifier();
    n = 50;
    EXPECT_EQ(MorvaneGetDecisionTrace(nullptr, &n), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(n, 50);
    EXPECT_EQ(MorvaneGetPageTurn(&degrees), MORVANE_ERR_UNINITIALIZED);
}

TEST_F(DecisionTraceTest, ShowsScoresGatesAndChoice) {
    ASSERT_EQ(Run(2480, 3508), 0);
    const std::string t = Trace();
    EXPECT_NE(t.find("\"result\":{\"id\":\"A4\",\"name\":\"Name of A4\",\"outputId\":\"A4out\"}"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("{\"filter\":1,\"found\":true,\"name\":\"size\",\"type\":1,\"process\":\"threshold\","
                     "\"threshold\":750,\"weight\":10,\"code\":0}"),
              std::string::npos)
        << t;
    // The default child is not scored; the A4 child passes the gate, the card
    // child fails it (its page turned scores far below 750).
    EXPECT_NE(
        t.find(
            "\"name\":\"other\",\"template\":\"OTHER\",\"action\":0,\"valid\":true,\"scores\":[{\"filter\":1,"
            "\"compared\":false"),
        std::string::npos)
        << t;
    EXPECT_NE(
        t.find("\"name\":\"a4\",\"template\":\"A4\",\"action\":1,\"valid\":true,\"scores\":[{\"filter\":1,"
               "\"compared\":true,\"score\":999,\"total\":999,\"passed\":true}]"),
        std::string::npos)
        << t;
    EXPECT_NE(t.find("\"name\":\"card\""), std::string::npos);
    EXPECT_NE(t.find("\"choice\":{\"by\":\"score\",\"child\":1,\"name\":\"a4\"}"), std::string::npos) << t;
    EXPECT_NE(
        t.find("\"group\":{\"index\":0,\"name\":\"a4\",\"template\":\"A4\"},\"filters\":[],\"children\":[],"
               "\"choice\":{\"by\":\"final\"}"),
        std::string::npos)
        << t;

    // A page that matches nothing: the trace shows the failed gates and the
    // default branch.
    ASSERT_EQ(Run(1000, 1000), 0);
    const std::string d = Trace();
    EXPECT_NE(d.find("\"choice\":{\"by\":\"default\",\"child\":0,\"name\":\"other\"}"), std::string::npos)
        << d;
    EXPECT_NE(
        d.find("\"name\":\"a4\",\"template\":\"A4\",\"action\":1,\"valid\":true,\"scores\":[{\"filter\":1,"
               "\"compared\":true,\"score\":459,\"total\":459,\"passed\":false}],\"total\":459,\"passed\":"
               "false}"),
        std::string::npos)
        << d;
    EXPECT_NE(d.find("\"score\":702,\"total\":702,\"passed\":false}]"), std::string::npos) << d;

    // An argument failure keeps the previous trace.
    EXPECT_EQ(ClassifyImageMemory(nullptr, 5, 5, 8, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Trace(), d);
}

TEST_F(DecisionTraceTest, ShortcutAndFailureAreTraced) {
    ASSERT_EQ(ResetAllTemplates(1, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("CARD")), 0, 0), 0);
    ASSERT_EQ(SetAttribute(0, 1, 0), 0);
    ASSERT_EQ(Run(2480, 3508), 0);
    EXPECT_EQ(Id(), "CARD");
    EXPECT_NE(Trace().find("\"shortcut\":true,"), std::string::npos);
    EXPECT_NE(Trace().find("\"levels\":[]"), std::string::npos);

    // Without a valid default branch nothing passes: "none" and code -8.
    ASSERT_EQ(SetAttribute(0, 0, 0), 0);
    ASSERT_EQ(ResetAllTemplates(1, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("A4")), 0, 0), 0);  // keeps the root's children valid
    ASSERT_EQ(ResetAllTemplates(0, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("A4")), 0, 0), 0);
    ASSERT_EQ(Run(1000, 1000), MORVANE_ERR_CLASSIFY);
    const std::string t = Trace();
    EXPECT_NE(t.find("\"code\":-8,\"result\":null"), std::string::npos) << t;
    EXPECT_NE(t.find("\"choice\":{\"by\":\"none\"}"), std::string::npos) << t;
}

TEST_F(DecisionTraceTest, OrientationSearchFindsTurnedPages) {
    // Off: a card scanned on its side is not a card.
    ASSERT_EQ(Run(638, 1011), 0);
    EXPECT_EQ(Id(), "OTHER");
    EXPECT_EQ(Turn(), 0);
    EXPECT_NE(Trace().find("\"orientation\":{\"searched\":false,\"turn\":0,\"tried\":[]}"),
              std::string::npos);

    ASSERT_EQ(MorvaneSetOrientationSearch(1), 0);
    ASSERT_EQ(Run(638, 1011), 0);
    EXPECT_EQ(Id(), "CARD");
    EXPECT_EQ(Turn(), 90);
    EXPECT_NE(Trace().find("\"orientation\":{\"searched\":true,\"turn\":90,\"tried\":[0,90,180,270]}"),
              std::string::npos);

    // A page that matches at 0 degrees is not turned at all.
    ASSERT_EQ(Run(2480, 3508), 0);
    EXPECT_EQ(Id(), "A4");
    EXPECT_NE(Trace().find("\"orientation\":{\"searched\":true,\"turn\":0,\"tried\":[0]}"),
              std::string::npos);

    // No turn helps: every turn is tried and the page stays as it was.
    ASSERT_EQ(Run(1000, 1000), 0);
    EXPECT_EQ(Id(), "OTHER");
    EXPECT_EQ(Turn(), 0);
    EXPECT_NE(Trace().find("\"orientation\":{\"searched\":true,\"turn\":0,\"tried\":[0,90,180,270]}"),
              std::string::npos);

    // The setting survives loading again; switching it off restores the
    // plain behaviour.
    ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U((set_.path() + "main.xml").c_str())), &index), 0);
    ASSERT_EQ(index, 0);
    ASSERT_EQ(Run(638, 1011), 0);
    EXPECT_EQ(Id(), "CARD");
    EXPECT_EQ(Turn(), 90);
    ASSERT_EQ(MorvaneSetOrientationSearch(0), 0);
    ASSERT_EQ(Run(638, 1011), 0);
    EXPECT_EQ(Id(), "OTHER");
    EXPECT_EQ(Turn(), 0);
}

}  // namespace
