// A generated template set of a few thousand records per kind loads whole:
// every class of scripts/hostile/make_template.py (the set the memory
// measurement of scripts/hostile/template_memory.py uses, here smaller) is
// found with its grid, frame lines and text lines, the last as the first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/MainTemplateEntry.h"
#include "core/TextConv.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterText.h"
#include "filters/FrameLineRecords.h"
#include "templates/SubTemplate.h"
#include "templates/SubTemplateList.h"

using namespace libMorvaneClassifier;

namespace {

TEST(LargeTemplateSet, EveryClassLoadsWithItsRecords) {
    char dir[] = "/tmp/morvane-large-set-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    constexpr int kClasses = 600;  // about 5.4 MB of XML
    const std::string cmd = "python3 '" + std::string(MORVANE_SOURCE_DIR) +
                            "/scripts/hostile/make_template.py' '" + dir + "' " + std::to_string(kClasses) +
                            " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "python3 could not write the set";
    CMainTemplateEntry entry;
    const int loaded = entry.Load(Utf8ToUtf16(std::string(dir) + "/main.xml"));
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    ASSERT_EQ(loaded, 0);
    ASSERT_TRUE(entry.subTemplates);
    ASSERT_EQ(entry.subTemplates->items.size(), static_cast<size_t>(kClasses + 1));
    for (size_t i : {size_t{1}, static_cast<size_t>(kClasses) / 2, static_cast<size_t>(kClasses)}) {
        const CSubTemplate* sub = entry.subTemplates->items[i].get();
        ASSERT_NE(sub, nullptr);
        char id[16];
        std::snprintf(id, sizeof id, "C%05zu", i - 1);
        EXPECT_EQ(Utf16ToUtf8(sub->id), id);
        const auto* grid = dynamic_cast<const CFilterGridInfo*>(sub->FindFilterInfo(2));
        ASSERT_NE(grid, nullptr) << id;
        EXPECT_EQ(grid->rows, 16);
        EXPECT_EQ(grid->cols, 16);
        EXPECT_EQ(grid->densities.size(), 256u);
        const auto* lines = dynamic_cast<const CFilterFrameLineInfo*>(sub->FindFilterInfo(3));
        ASSERT_NE(lines, nullptr) << id;
        ASSERT_TRUE(lines->frameLines);
        EXPECT_EQ(lines->frameLines->count, 40);
        const auto* text = dynamic_cast<const CFilterTextInfo*>(sub->FindFilterInfo(4));
        ASSERT_NE(text, nullptr) << id;
        ASSERT_TRUE(text->textLines);
        EXPECT_EQ(text->textLines->count, 4);
        EXPECT_EQ(text->textLines->items[3]->text.size(), 24u);
    }
}

}  // namespace
