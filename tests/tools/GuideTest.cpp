// The user guide names every control of every panel by the name the skin
// shows on it: a button's, check box's or choice's words (in bold, as they
// stand), each state of a stepping control, the captions over knobs and
// fields, each panel's title, and a control's name as its tip gives it.
// Its pictures are the ones the build made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Pictures that are controls: their words are a button's name.
const std::set<std::string> kControlRecipes = {"button", "tool",        "checkbox",
                                               "choice", "tunerbutton", "netstate"};
// Pictures that are words beside controls: panel titles and captions.
const std::set<std::string> kCaptionRecipes = {"label", "caption", "tunercaption", "netcaption"};

struct Cast {
    std::string recipe;
    std::vector<std::string> words;
};

std::string collapse(const std::string& text)
{
    std::string out = std::regex_replace(text, std::regex("\\s+"), " ");
    return std::regex_replace(out, std::regex("^ | $"), "");
}

// A name worth looking up: two letters at least (digits, arrows and signs
// name nothing), and no sentence (the tuner's hint).
bool isName(const std::string& words)
{
    int letters = 0;
    for (const unsigned char c : words) letters += std::isalpha(c) != 0;
    return letters >= 2 && words.back() != '.';
}

// casts.txt: "id name recipe key=value key="two words" ...".
std::map<std::string, Cast> readCasts(const std::string& path)
{
    std::map<std::string, Cast> casts;
    std::istringstream in(testsupport::readFile(path));
    const std::regex param("(\\w+)=(\"([^\"]*)\"|(\\S+))");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, name, recipe;
        if (!(fields >> id >> name >> recipe) || !std::isdigit(static_cast<unsigned char>(id[0]))) continue;
        Cast& cast = casts[name];
        cast.recipe = recipe;
        for (std::sregex_iterator m(line.begin(), line.end(), param), end; m != end; ++m) {
            const std::string key = (*m)[1], value = (*m)[3].matched ? (*m)[3].str() : (*m)[4].str();
            if (key == "text") cast.words.push_back(value);
            if (key == "texts") {
                std::istringstream states(value);
                for (std::string s; std::getline(states, s, '|');) cast.words.push_back(s);
            }
        }
    }
    return casts;
}

// The cast a layout's picture name is a variant of ("g.play.up" of "g.play").
const Cast* castOf(const std::map<std::string, Cast>& casts, std::string picture)
{
    for (;;) {
        if (const auto it = casts.find(picture); it != casts.end()) return &it->second;
        const size_t dot = picture.rfind('.');
        if (dot == std::string::npos) return nullptr;
        picture.resize(dot);
    }
}

struct Wanted {
    std::string name;
    bool bold;  // a control's own words: in bold and as they stand
    std::string where;
};

// Every name the panels' layouts show or their tips give.
std::vector<Wanted> namesOnTheSkin()
{
    const std::string skin = testsupport::sourceDir() + "/skin";
    const std::map<std::string, Cast> casts = readCasts(skin + "/casts.txt");
    std::vector<Wanted> wanted;
    for (const auto& file : fs::directory_iterator(skin + "/layouts")) {
        std::istringstream in(testsupport::readFile(file.path().string()));
        std::string item, shown, tip;
        auto endItem = [&] {
            // "The main volume: drag ..." names it; so does "Key lock: ..." on the button that says Key.
            std::smatch m;
            if (std::regex_search(tip, m, std::regex("^\"The ([A-Za-z' ]+):")) && shown.empty() &&
                std::count(m[1].first, m[1].second, ' ') < 3)
                wanted.push_back({m[1], false, item});
            else if (!shown.empty() && std::regex_search(tip, m, std::regex("^\"([A-Za-z ]+):")) &&
                     m[1].str().rfind(shown + " ", 0) == 0)
                wanted.push_back({m[1], false, item});
            shown.clear();
            tip.clear();
        };
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string key;
            fields >> key;
            if (key == "item") {
                endItem();
                item = file.path().filename().string() + ", " + line;
            } else if (key == "tip") {
                tip = collapse(line.substr(line.find("tip") + 3));
            } else if (key == "images") {
                std::set<std::string> seen;
                for (std::string picture; fields >> picture;) {
                    const Cast* cast = castOf(casts, picture);
                    if (!cast) continue;
                    const bool control = kControlRecipes.count(cast->recipe) != 0;
                    if (!control && !kCaptionRecipes.count(cast->recipe)) continue;
                    for (const std::string& words : cast->words) {
                        if (control) shown = words;
                        if (isName(words) && seen.insert(words).second)
                            wanted.push_back({words, control, item});
                    }
                }
            }
        }
        endItem();
    }
    return wanted;
}

// The guide's words, its tags dropped and its entities written plainly;
// and the words it puts in bold.
struct Guide {
    std::string text;
    std::set<std::string> bold;
};

std::string plain(const std::string& html)
{
    std::string text = std::regex_replace(html, std::regex("<[^>]+>"), " ");
    for (const auto& [entity, same] : std::vector<std::pair<std::string, std::string>>{{"&minus;", "-"},
                                                                                       {"&hellip;", "..."},
                                                                                       {"&lt;", "<"},
                                                                                       {"&gt;", ">"},
                                                                                       {"&quot;", "\""},
                                                                                       {"&amp;", "&"}})
        text = std::regex_replace(text, std::regex(entity), same);
    return collapse(text);
}

Guide readGuide()
{
    const std::string html = testsupport::readFile(testsupport::sourceDir() + "/desktop/UserGuide.html");
    Guide g;
    g.text = plain(html);
    const std::regex bold("<b>([^]*?)</b>");
    for (std::sregex_iterator m(html.begin(), html.end(), bold), end; m != end; ++m)
        g.bold.insert(plain((*m)[1]));
    return g;
}

bool hasWords(const std::string& text, const std::string& name)
{
    const std::string quoted = std::regex_replace(name, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&");
    return std::regex_search(text, std::regex("(^|[^A-Za-z])" + quoted + "($|[^A-Za-z])", std::regex::icase));
}

TEST(UserGuide, NamesEveryControlOfEveryPanel)
{
    const Guide guide = readGuide();
    ASSERT_GT(guide.text.size(), 10000u);
    const std::vector<Wanted> wanted = namesOnTheSkin();
    // The skin's sources read as they should: each panel's buttons and captions.
    ASSERT_GE(wanted.size(), 100u);
    std::set<std::string> found;
    for (const Wanted& w : wanted) {
        if (w.bold)
            EXPECT_TRUE(guide.bold.count(w.name))
                << "the guide has no <b>" << w.name << "</b> (" << w.where << ")";
        else
            EXPECT_TRUE(hasWords(guide.text, w.name))
                << "the guide never says \"" << w.name << "\" (" << w.where << ")";
        found.insert(w.name);
    }
    // Names read from the three kinds of source.
    for (const char* name :
         {"New song from loops", "Listen", "TRACKS ON THE LINK", "Key lock", "main volume"})
        EXPECT_TRUE(found.count(name)) << name;
}

// Each picture of the guide was made of a panel by this build's program (a
// PNG of the stage's size written after the program was), and every picture
// the program made of its panels is in the guide, with words for it.
TEST(UserGuide, ShowsThePictureTheBuildMadeOfEveryPanel)
{
    const std::string html = testsupport::readFile(testsupport::sourceDir() + "/desktop/UserGuide.html");
    const fs::path built = testsupport::programDir();
    const fs::path folder = built / "guide";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::set<std::string> named;
    const std::regex img("<img\\b[^>]*>"), src("src=\"guide/([^\"/]+)\""), alt("alt=\"[^\"]{20,}\"");
    for (std::sregex_iterator m(html.begin(), html.end(), img), end; m != end; ++m) {
        const std::string tag = m->str();
        std::smatch picture;
        ASSERT_TRUE(std::regex_search(tag, picture, src)) << tag;
        EXPECT_TRUE(std::regex_search(tag, alt)) << "no words for " << tag;
        named.insert(picture[1]);
    }
    std::set<std::string> made;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        made.insert(entry.path().filename().string());
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(named, made);
    const auto program = fs::last_write_time(built / "beatloom");
    for (const std::string& name : named) {
        const fs::path picture = folder / name;
        EXPECT_EQ(testsupport::pngSize(testsupport::readFile(picture.string())), std::make_pair(640u, 480u))
            << name;
        std::error_code ec;
        EXPECT_TRUE(fs::last_write_time(picture, ec) > program) << name << " is older than the program";
    }
}

}  // namespace
