// The text form of layouts: what the skin's sources are written in and what
// xrstool prints.
#include <gtest/gtest.h>

#include <map>

#include "core/kelLayoutsText.h"

namespace {

const std::map<std::string, int32_t> kCasts = {
    {"back.0", 1000},  {"back.1", 1001},    {"back.2", 1002},
    {"close.up", 100}, {"close.down", 101}, {"title", 1200},
};

bool resolve(const std::string& name, int32_t& id)
{
    const auto it = kCasts.find(name);
    if (it == kCasts.end()) return false;
    id = it->second;
    return true;
}

std::string nameOf(int32_t id)
{
    for (const auto& [name, value] : kCasts)
        if (value == id) return name;
    return "";
}

const char* const kSource = R"(# A panel.
layout 3
panel 2 base 50
stage 100 100
design 0 0 640 480

item 0 background   # the plate
  kind backpane
  state shown
  size back.0
  images back.0
  schemes back

item 2 close
  kind button
  state active
  anchor top-right
  self top-right
  stretch bottom
  offset -6 5
  frame 0 18
  size close.up
  images - close.up close.down
  source 0
  aux 12 -7
  help 9
  tip "Closes the \"synth\"  panel."
)";

TEST(KelLayoutText, ReadsEveryField)
{
    kelLayoutSource l;
    std::string error;
    ASSERT_TRUE(kelLayoutFromText(kSource, resolve, l, error)) << error;
    EXPECT_EQ(l.id, 3);
    EXPECT_EQ(l.panel, 2);
    EXPECT_EQ(l.base, 50);
    EXPECT_EQ(l.stage.h, 100);
    EXPECT_EQ(l.data.header.design, kelRect(0, 0, 640, 480));
    ASSERT_EQ(l.data.header.itemCount, 3);

    const kelLayoutItem& back = l.data.items[0];
    EXPECT_EQ(back.aux[0], 19);
    EXPECT_EQ(back.state, 1);
    EXPECT_EQ(back.sizeCastID, 1000);
    EXPECT_EQ(back.imageCastIDs[0], 1000);
    // Three schemes painted: the ten slots repeat them.
    const int16_t schemes[10] = {1000, 1001, 1002, 1000, 1001, 1002, 1000, 1001, 1002, 1000};
    for (int k = 0; k < 10; ++k) EXPECT_EQ(back.aux[1 + k], schemes[k]) << k;

    EXPECT_EQ(l.data.items[1].state, 0);  // skipped: a hidden placeholder
    EXPECT_EQ(l.data.items[1].aux[0], 0);

    const kelLayoutItem& close = l.data.items[2];
    EXPECT_EQ(close.aux[0], 33);
    EXPECT_EQ(close.state, 2);
    EXPECT_EQ(close.layoutAnchor(), 2);
    EXPECT_EQ(close.stretchAnchor(), 5);
    EXPECT_EQ(close.selfAnchor, 2);
    EXPECT_EQ(close.offset.h, -6);
    EXPECT_EQ(close.frameSize.v, 18);
    EXPECT_EQ(close.imageCastIDs[0], 0);
    EXPECT_EQ(close.imageCastIDs[2], 101);
    EXPECT_EQ(close.aux[12], -7);
    EXPECT_EQ(close.aux[7], 9);
    EXPECT_EQ(close.aux[9], 0);
    ASSERT_EQ(l.tips.size(), 1u);
    EXPECT_EQ(l.tips[0].item, 2);
    EXPECT_EQ(l.tips[0].text, "Closes the \"synth\"  panel.");
    EXPECT_EQ(l.labels[2], "close");
}

TEST(KelLayoutText, PrintedLayoutsReadBackTheSame)
{
    kelLayoutSource l;
    std::string error;
    ASSERT_TRUE(kelLayoutFromText(kSource, resolve, l, error)) << error;
    l.data.items[2].aux[kKelAuxSource] = -1;
    l.data.items[2].imageCastIDs[5] = 4242;  // a cast without a name prints as a number

    const std::string printed = kelLayoutToText(3, l.data, nameOf);
    EXPECT_NE(printed.find("  images - close.up close.down - - 4242\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("  aux 7 back.0\n"), std::string::npos)
        << printed;  // a scheme slot, not a help number

    kelLayoutSource again;
    ASSERT_TRUE(kelLayoutFromText(printed, resolve, again, error)) << error << "\n" << printed;
    EXPECT_EQ(kelLayoutWrite(again.data), kelLayoutWrite(l.data));
}

TEST(KelLayoutText, MistakesNameTheirLine)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  images nosuch\n", "line 4: no cast named 'nosuch'"},
        {"layout 1\ndesign 0 0 1 1\nkind button\n", "line 3: 'kind' outside an item"},
        {"layout 1\ndesign 0 0 1 1\nitem 100\n", "line 3: an item index must be a number from 0 to 99"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\nitem 0\n", "line 4: item 0 is given twice"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  anchor middle\n", "line 4: an anchor must be"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  offset 1 40000\n", "line 4: an offset must be"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  kind knob\n", "line 4: unknown kind 'knob'"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  tip \"open\n", "line 4: unclosed quote"},
        {"layout 1\ndesign 0 0 1 1\nitem 0\n  schemes none\n", "line 4: no colour-scheme casts"},
        {"design 0 0 1 1\n", "no 'layout' line"},
        {"layout 1\n", "no 'design' line"},
    };
    for (const auto& c : cases) {
        kelLayoutSource l;
        std::string error;
        EXPECT_FALSE(kelLayoutFromText(c.text, resolve, l, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(KelLayoutText, Tokens)
{
    std::vector<std::string> t;
    ASSERT_TRUE(kelSourceTokens("  colour ink #eef0f3   # a comment", t));
    EXPECT_EQ(t, (std::vector<std::string>{"colour", "ink", "#eef0f3"}));
    ASSERT_TRUE(kelSourceTokens("text=\"Two words\" a\\b \"q\\\"x\"", t));
    EXPECT_EQ(t, (std::vector<std::string>{"text=Two words", "a\\b", "q\"x"}));
    ASSERT_TRUE(kelSourceTokens("#whole line", t));
    EXPECT_TRUE(t.empty());
    EXPECT_FALSE(kelSourceTokens("a \"b", t));
    EXPECT_EQ(kelKindFromName("button"), 33);
    EXPECT_EQ(kelKindFromName("progress"), 232);
    EXPECT_STREQ(kelKindName(19), "backpane");
    EXPECT_EQ(kelKindName(35), nullptr);
    EXPECT_EQ(kelAnchorFromName("centre"), 8);
    EXPECT_EQ(kelAnchorFromName("center"), 8);
}

}  // namespace
