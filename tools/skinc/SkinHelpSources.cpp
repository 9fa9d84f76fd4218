#include "tools/skinc/SkinHelpSources.h"

#include <algorithm>

namespace skinc {

bool readTipTranslations(const std::string& file, TipTranslations& out, Diag& diag)
{
    std::vector<SourceLine> lines;
    if (!readSourceLines(file, lines, diag)) return false;
    bool good = true;
    const std::string* english = nullptr;
    for (const SourceLine& line : lines) {
        const auto& w = line.words;
        if (w.size() == 1) {
            if (english) {
                diag.error(line.where(), "the text above has no translation ('= \"...\"')");
                good = false;
            }
            if (out.count(w[0])) {
                diag.error(line.where(), "this text is translated above already");
                good = false;
                english = nullptr;
                continue;
            }
            english = &out.emplace(w[0], TipTranslation{"", line.where()}).first->first;
            continue;
        }
        if (w.size() == 2 && w[0] == "=" && english) {
            out[*english] = TipTranslation{w[1], line.where()};
            english = nullptr;
            continue;
        }
        diag.error(line.where(), "expected: \"English text\", then = \"its translation\"");
        good = false;
    }
    if (english) {
        diag.error(file, "the last text has no translation");
        good = false;
    }
    return good;
}

bool readTours(const std::string& file, const std::vector<std::string>& codes, std::vector<TourStep>& steps,
               Diag& diag)
{
    std::vector<SourceLine> lines;
    if (!readSourceLines(file, lines, diag)) return false;
    bool good = true;
    int tour = -1;
    auto complete = [&](const TourStep& step) {
        for (const std::string& code : codes)
            if (!step.texts.count(code) || step.texts.at(code).empty()) {
                diag.error(step.where, "the step has no text in '" + code + "'");
                good = false;
            }
    };
    for (const SourceLine& line : lines) {
        const auto& w = line.words;
        int number = 0;
        if (w[0] == "tour" && w.size() == 2 && parseInt(w[1], number) && number >= 0 && number <= 10) {
            tour = number;
            continue;
        }
        if (w[0] == "step" && w.size() == 3 && parseInt(w[1], number)) {
            if (tour < 0) {
                diag.error(line.where(), "a step before the first 'tour P'");
                good = false;
                continue;
            }
            if (!steps.empty()) complete(steps.back());
            steps.push_back(TourStep{static_cast<int16_t>(tour), number, w[2], {}, line.where()});
            continue;
        }
        if (w.size() == 2 && !steps.empty() && std::find(codes.begin(), codes.end(), w[0]) != codes.end()) {
            if (!steps.back().texts.emplace(w[0], w[1]).second) {
                diag.error(line.where(), "a second text in '" + w[0] + "' for this step");
                good = false;
            }
            continue;
        }
        diag.error(line.where(), "expected: tour PANEL, step LAYOUT ITEM, or a language code and a text");
        good = false;
    }
    if (!steps.empty()) complete(steps.back());
    return good;
}

}  // namespace skinc
