// Every control that shows a text keeps it in the skin font's 8-bit set: a
// name, or a message with names, handed over in UTF-8 shows each accent and
// quote as one sign; 8-bit text stays as it is.
#include <gtest/gtest.h>

#include <string>

#include "ui/PWPanelCtrls.h"
#include "ui/PWpopup.h"
#include "ui/kelPanProCtrls.h"
#include "ui/kelPanStdCtrls.h"

namespace {

const std::string kUtf8 = "Morceau \xC2\xAB Caf\xC3\xA9 \xC3\x80 l'\xC3\xA9t\xC3\xA9 \xC2\xBB";
const std::string kLatin1 = "Morceau \xAB Caf\xE9 \xC0 l'\xE9t\xE9 \xBB";

template <class Control>
std::string keptBy(Control& c, const std::string& text)
{
    c.setValue(const_cast<char*>(text.c_str()));
    char out[512] = {};
    c.getValue(out);
    return out;
}

TEST(ShownText, EveryTextControlKeepsNamesInTheSkinsOwnCharacters)
{
    for (const std::string& given : {kUtf8, kLatin1}) {
        PWPanelTextControl text;
        EXPECT_EQ(keptBy(text, given), kLatin1) << "panel text";
        kelPaCoStd_StaticString plain;
        EXPECT_EQ(keptBy(plain, given), kLatin1) << "static string";
        panProTextControl pro;
        EXPECT_EQ(keptBy(pro, given), kLatin1) << "image text";

        kelPaCoStd_StandardList list;
        list.setValue(int16_t{0}, const_cast<char*>(given.c_str()));
        char row[512] = {};
        list.getValue(int16_t{0}, row);
        EXPECT_EQ(std::string(row), kLatin1) << "list row";

        PWpopupControl menu;
        menu.setValue(int16_t{0}, const_cast<char*>("Drums"));
        menu.setValue(int16_t{1}, const_cast<char*>(given.c_str()));
        char item[512] = {};
        menu.getValue(int16_t{1}, item);
        EXPECT_EQ(std::string(item), kLatin1) << "menu item";
        menu.setValue(const_cast<char*>(kUtf8.c_str()));
        int16_t chosen = -1;
        menu.getValue(chosen);
        EXPECT_EQ(chosen, 1) << "a menu item is found by its name in either form";
    }
}

}  // namespace
