// One run of the skin compiler: the sources under the skin folder in, the
// resource file and the help table out.
//
//   style.txt            the look: colours, radii, fonts, colour schemes
//   casts.txt            the cast table: ids, names and picture recipes
//   layouts/*.txt        one layout each (see core/kelLayoutsText.h)
//   text/languages.txt   'TEXT' 1; each line's code and text set name the
//                        message table text/messages-CODE.txt ('TEXT' 100 + set)
//   text/libraries.txt   'TEXT' 2: library name, picture cast
//   text/tips-CODE.txt   the tips in each language but the first
//   text/tour.txt        the guided tours (tools/skinc/SkinHelpSources.h)
//
// Besides, 'TEXT' 3 lists every cast by name ("name,id" a line), so tools and
// the program can find a cast by its name, and 'DATA' 100 + text set hold the
// help table in that set's language. "Helps.txt" holds the tables of every
// text set in order, each ended by an empty line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/kelLayoutsText.h"
#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinFont.h"
#include "tools/skinc/SkinHelp.h"
#include "tools/skinc/SkinHelpSources.h"
#include "tools/skinc/SkinStyle.h"

namespace skinc {

constexpr int32_t kFontCastID = 500;
constexpr int32_t kSplashCastID = 742;
constexpr int32_t kLanguageTableID = 1;
constexpr int32_t kLibraryTableID = 2;
constexpr int32_t kCastNamesTableID = 3;
constexpr int32_t kMessageTableBase = 100;

class SkinBuild {
public:
    SkinBuild(std::string folder, Diag& diag) : folder_(std::move(folder)), diag_(diag) {}

    // Reads and checks every source and paints every picture.
    bool compile();
    // Writes both files (each beside its target, then renamed into place).
    bool write(const std::string& xrsPath, const std::string& helpsPath);

private:
    struct TextTable {
        int32_t id = 0;
        std::string bytes;  // 8-bit, lines ending in CR
        std::string where;
    };

    bool loadLayouts();
    bool loadTexts();
    bool loadMessageTables(const std::string& languages);
    bool paint();
    bool writeResource(const std::string& kelPath);
    bool loadHelpSources();
    // Each text set's tour steps and tips, placed where their controls lie.
    bool placeTips(const std::string& kelPath, std::map<int32_t, std::vector<HelpTip>>& tips);
    bool addHelpTables(const std::string& kelPath, const std::map<int32_t, std::string>& tables);
    std::vector<HelpBubble> bubbles() const;

    std::string folder_;
    Diag& diag_;
    Style style_;
    CastTable casts_;
    FontStrip font_;
    std::vector<Picture> pictures_;  // parallel to casts_.entries()
    std::vector<kelLayoutSource> layouts_;
    std::vector<std::string> layoutFiles_;
    std::vector<TextTable> texts_;
    std::map<int32_t, std::string> languageCodes_;         // text set to code
    std::map<std::string, TipTranslations> translations_;  // by code
    std::vector<TourStep> tour_;
};

}  // namespace skinc
