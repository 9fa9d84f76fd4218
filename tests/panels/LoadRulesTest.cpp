// The song browser's rules: the order of song names, the names the list
// shows, the description's lines, the page of the list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "panels/browser/BLLoadRules.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string> sorted(const std::vector<std::string>& folders)
{
    std::vector<BLLoadEntry> table(folders.size());
    for (size_t i = 0; i < folders.size(); ++i)
        std::snprintf(table[i].folder, sizeof table[i].folder, "%s", folders[i].c_str());
    BL_SortEntries(table.data(), static_cast<int16_t>(table.size()));
    std::vector<std::string> out;
    for (const BLLoadEntry& e : table) out.push_back(e.folder);
    return out;
}

std::string shown(const char* title, const char* folder = "Folder")
{
    char out[kKelNameMax + 16];
    BL_LoadDisplayName(title, folder, out, sizeof out);
    return out;
}

std::vector<std::string> chunks(const std::string& text)
{
    std::vector<std::string> lines;
    char line[kBLDescWidth + 1];
    for (int16_t n = 0; n < 40; ++n) {
        getSongDescChunk(text.c_str(), n, line, sizeof line);
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

TEST(LoadRules, SongNamesSortByTheirNumbersOthersByBytes)
{
    EXPECT_EQ(sorted({"Song10", "Song2", "Alpha"}), (std::vector<std::string>{"Alpha", "Song2", "Song10"}));
    EXPECT_TRUE(songNameCompare("Song2", "Song10"));
    EXPECT_FALSE(songNameCompare("Song10", "Song2"));
    EXPECT_FALSE(songNameCompare("Song7", "Song7"));
    // Only both names starting with "Song" compare by number.
    EXPECT_TRUE(songNameCompare("Songs", "Song10"));  // no number counts as 0
    EXPECT_TRUE(songNameCompare("Beta", "alpha"));    // byte order: upper case first
    EXPECT_EQ(sorted({"Zed", "Song3", "Song1", "Mid", "Song20", "Alpha", "Song3b"}),
              (std::vector<std::string>{"Alpha", "Mid", "Song1", "Song3", "Song3b", "Song20", "Zed"}));
    // Digits beyond any number do not overflow the comparison.
    EXPECT_TRUE(songNameCompare("Song5", "Song99999999999999999999999999"));
}

TEST(LoadRules, ATitleIsCutAtItsDashAndAfter25Characters)
{
    EXPECT_EQ(shown("Groove - the long remix"), "Groove ");
    EXPECT_EQ(shown("No-dash-cut"), "No-dash-cut");
    const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
    EXPECT_EQ(shown(thirty.c_str()), thirty.substr(0, 25) + '\xC9');
    EXPECT_EQ(shown(thirty.substr(0, 25).c_str()), thirty.substr(0, 25));
    // The dash comes first, the length after it.
    EXPECT_EQ(shown("A title that is long - and more"), "A title that is long ");
    EXPECT_EQ(shown("A title that is far too long to fit - x"),
              std::string("A title that is far too l") + '\xC9');
    // A description without a title shows its folder.
    EXPECT_EQ(shown("", "MySong"), "MySong");
    char small[6];
    BL_LoadDisplayName(thirty.c_str(), "", small, sizeof small);
    EXPECT_EQ(std::string(small), "ABCDE");
}

TEST(LoadRules, ASongThatDoesNotLoadIsNamedWithLoadError)
{
    char out[kKelNameMax + 16];
    BL_LoadErrorName("Broken", out, sizeof out);
    EXPECT_STREQ(out, "Broken Load error");
    const std::string longest(kKelNameMax, 'x');
    BL_LoadErrorName(longest.c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out), longest + " Load error");
}

TEST(LoadRules, TheDescriptionWrapsAt76CharactersAtBlanks)
{
    std::string text;
    for (int i = 0; i < 40; ++i) text += testsupport::join(i ? " " : "", "word", i * 37 % 1000);
    const std::vector<std::string> lines = chunks(text);
    ASSERT_GE(lines.size(), 4u);
    std::string joined;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 76u) << line;
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
        joined += testsupport::join(joined.empty() ? "" : " ", line);
    }
    EXPECT_EQ(joined, text);
    // Each line but the last is as full as whole words allow.
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string next = lines[i + 1].substr(0, lines[i + 1].find(' '));
        EXPECT_GE(lines[i].size() + 1 + next.size(), 76u) << i;
    }
    // A short text is its one line; past the end is empty.
    EXPECT_EQ(chunks("Short and sweet."), (std::vector<std::string>{"Short and sweet."}));
    char line[kBLDescWidth + 1];
    getSongDescChunk("", 0, line, sizeof line);
    EXPECT_STREQ(line, "");
}

TEST(LoadRules, AWordLongerThanALineIsCutThere)
{
    const std::string word(100, 'w');
    const std::vector<std::string> lines = chunks(word + " end");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], word.substr(0, 76));
    EXPECT_EQ(lines[1], word.substr(76) + " end");
    // A blank exactly at the wrap column: the line ends at the blank before it.
    const std::string text = std::string(70, 'a') + " bbbbb " + std::string(10, 'c');
    const std::vector<std::string> two = chunks(text);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], std::string(70, 'a'));
    EXPECT_EQ(two[1], "bbbbb " + std::string(10, 'c'));
}

TEST(LoadRules, MovingTheSelectionStaysInTheTableAndThePageFollows)
{
    BLLoadPage page;
    page.count = 20;
    page.moveSelection(-5);
    EXPECT_EQ(page.selection, 5);
    EXPECT_EQ(page.offset, 0);
    page.moveSelection(-100);  // past the end: the last entry
    EXPECT_EQ(page.selection, 19);
    EXPECT_EQ(page.offset, 11);
    EXPECT_EQ(page.entryOnLine(8), 19);
    EXPECT_EQ(page.entryOnLine(9), -1);
    EXPECT_FALSE(page.downEnabled());
    EXPECT_TRUE(page.upEnabled());
    page.moveSelection(1);
    EXPECT_EQ(page.selection, 18);
    EXPECT_EQ(page.offset, 11);
    page.moveSelection(100);
    EXPECT_EQ(page.selection, 0);
    EXPECT_EQ(page.offset, 0);
    EXPECT_FALSE(page.upEnabled());
    EXPECT_TRUE(page.downEnabled());

    BLLoadPage empty;
    empty.moveSelection(-1);
    EXPECT_EQ(empty.selection, 0);
    EXPECT_EQ(empty.entryOnLine(0), -1);
    EXPECT_FALSE(empty.downEnabled());
}

TEST(LoadRules, TheDownArrowNeedsMoreThanAPage)
{
    BLLoadPage page;
    page.count = 9;
    EXPECT_FALSE(page.downEnabled());
    page.count = 10;
    EXPECT_TRUE(page.downEnabled());
    page.offset = 1;
    EXPECT_FALSE(page.downEnabled());
}

TEST(LoadRules, AMessageTakesTheNameAndNothingElse)
{
    EXPECT_EQ(BL_FormatName("Copying %s...", "a.wav"), "Copying a.wav...");
    // A damaged message table cannot make a format of it.
    EXPECT_EQ(BL_FormatName("%n%d %s %s", "x"), "%n%d x %s");
    EXPECT_EQ(BL_FormatName("No name here", "x"), "No name here");
}

}  // namespace
