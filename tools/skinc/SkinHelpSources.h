// What the help table is made of besides the layouts' tips:
//
//   text/tips-CODE.txt   the tips in another language, each translation under
//                        the English text it translates:
//                            "Plays the groove, or stops. Key: space."
//                            = "Joue le groove, ou l'arrête. Touche : espace."
//   text/tour.txt        the guided tours. "tour P" starts the tour that the
//                        help button of panel P begins; each "step LAYOUT ITEM"
//                        explains one control (the item's label or number in
//                        that layout) with one text per language code:
//                            tour 0
//                            step 6 load
//                              en "Click Load to open the song."
//                              fr "Cliquez sur Charger pour ouvrir le morceau."
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/skinc/SkinSource.h"

namespace skinc {

struct TipTranslation {
    std::string text;   // UTF-8
    std::string where;  // file:line, for messages
};

// English tip text (UTF-8) to its translation.
using TipTranslations = std::map<std::string, TipTranslation>;

bool readTipTranslations(const std::string& file, TipTranslations& out, Diag& diag);

struct TourStep {
    int16_t tour = 0;                          // the panel whose help button starts the tour
    int32_t layout = 0;                        // the layout that holds the control
    std::string item;                          // its label or number there
    std::map<std::string, std::string> texts;  // language code to UTF-8 text
    std::string where;
};

// Every step must have a text in each of `codes`.
bool readTours(const std::string& file, const std::vector<std::string>& codes, std::vector<TourStep>& steps,
               Diag& diag);

}  // namespace skinc
