// Word spaces put back into a recognised line from the gaps between its
// characters, on lines laid out as a proportional font, a fixed-pitch font
// and a machine-readable zone would lay them out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/RecognisedText.h"
#include "core/TextConv.h"

namespace libMorvaneClassifier {
namespace {

// Character widths of a proportional face at a 20-pixel cap height.
int32_t ProportionalWidth(char c) {
    switch (c) {
        case 'I':
            return 4;
        case 'M':
        case 'W':
            return 19;
        case 'J':
        case 'L':
        case 'T':
        case 'F':
            return 11;
        default:
            return 14;
    }
}

struct Layout {
    int32_t letterGap;  // between the characters of a word
    int32_t wordGap;    // between words (proportional layout)
    bool fixedPitch;    // cells of 25 pixels, glyphs centred, a word gap is an empty cell
};

// Lays out the words of sentence and returns the characters read (the
// sentence without its spaces) with their extents.
void LayOut(const std::string& sentence, const Layout& layout, std::u16string& read,
            std::vector<CharExtent>& extents) {
    read.clear();
    extents.clear();
    int32_t x = 100;
    for (char c : sentence) {
        if (layout.fixedPitch) {
            if (c != ' ') {
                const int32_t w = c == '<' ? 9 : 17;
                extents.push_back({x + (25 - w) / 2, x + (25 - w) / 2 + w, c == '<' ? 10 : 24});
                read.push_back(static_cast<char16_t>(c));
            }
            x += 25;
            continue;
        }
        if (c == ' ') {
            x += layout.wordGap - layout.letterGap;
            continue;
        }
        const int32_t w = ProportionalWidth(c);
        extents.push_back({x, x + w, 20});
        read.push_back(static_cast<char16_t>(c));
        x += w + layout.letterGap;
    }
}

struct Case {
    const char* name;
    std::string sentence;
    Layout layout;
    std::string expected;
};

TEST(WordSpaces, GeneratedLinesOfWords) {
    const Case cases[] = {
        {"proportional words", "THE QUICK BROWN FOX JUMPS", {2, 9, false}, "THE QUICK BROWN FOX JUMPS"},
        {"narrow letters beside wide ones", "WILL MILL I AM", {2, 9, false}, "WILL MILL I AM"},
        {"tight word gaps still count", "REPUBLIC OF EXAMPLE", {1, 7, false}, "REPUBLIC OF EXAMPLE"},
        {"one word", "PASSPORT", {2, 9, false}, "PASSPORT"},
        {"fixed pitch, one empty cell", "TYPE P CODE UTO", {0, 0, true}, "TYPE P CODE UTO"},
        // A zone line: narrow fillers leave wide gaps, but every centre sits
        // on the pitch, so no space is put in.
        {"zone line with fillers",
         "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
         {0, 0, true},
         "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<"},
        {"zone line of digits",
         "L898902C36UTO7408122F1204159ZE184226B<<<<<10",
         {0, 0, true},
         "L898902C36UTO7408122F1204159ZE184226B<<<<<10"},
    };
    for (const Case& c : cases) {
        std::u16string read;
        std::vector<CharExtent> extents;
        LayOut(c.sentence, c.layout, read, extents);
        EXPECT_EQ(Utf16ToUtf8(WithWordSpaces(read, extents)), c.expected) << c.name;
    }
}

TEST(WordSpaces, TextKeptWhenExtentsCannotBeTrusted) {
    std::u16string read;
    std::vector<CharExtent> extents;
    LayOut("AB CD", {2, 12, false}, read, extents);
    // One extent short: the characters cannot be paired with their boxes.
    std::vector<CharExtent> shorter(extents.begin(), extents.end() - 1);
    EXPECT_EQ(WithWordSpaces(read, shorter), read);
    // Two characters give no gap statistics.
    EXPECT_EQ(WithWordSpaces(u"AB", {{0, 10, 20}, {40, 50, 20}}), u"AB");
    EXPECT_EQ(WithWordSpaces(u"", {}), u"");
    // Overlapping and zero-height boxes are taken without a fault.
    EXPECT_EQ(WithWordSpaces(u"ABC", {{0, 10, 0}, {5, 12, 0}, {9, 20, 0}}), u"ABC");
}

TEST(WordSpaces, SpacesAlreadyReadAreNotDoubled) {
    std::u16string read;
    std::vector<CharExtent> extents;
    LayOut("AB CD EF", {2, 12, false}, read, extents);
    // The engine read the first space itself (as a character with a box).
    std::u16string withSpace = u"AB CDEF";
    std::vector<CharExtent> withBox = extents;
    withBox.insert(withBox.begin() + 2, CharExtent{extents[1].right + 2, extents[2].left - 2, 20});
    EXPECT_EQ(Utf16ToUtf8(WithWordSpaces(withSpace, withBox)), "AB CD EF");
}

}  // namespace
}  // namespace libMorvaneClassifier
