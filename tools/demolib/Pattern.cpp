#include "tools/demolib/Pattern.h"

#include <cctype>
#include <cmath>
#include <sstream>

namespace demolib {

std::vector<Hit> parseHits(const std::string& pattern)
{
    std::vector<Hit> hits;
    int step = 0;
    for (char c : pattern) {
        if (c == ' ' || c == '|') continue;  // visual grouping only
        double v = 0.0;
        if (c == 'X')
            v = 1.0;
        else if (c == 'x')
            v = 0.8;
        else if (c == 'o')
            v = 0.5;
        else if (c == 'g')
            v = 0.3;
        else if (c >= '1' && c <= '9')
            v = (c - '0') / 10.0;
        if (v > 0.0) hits.push_back({step, v});
        ++step;
    }
    return hits;
}

int noteNumber(const std::string& name)
{
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (name.size() < 2) return -1;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    if (letter < 'a' || letter > 'g') return -1;
    int semi = kSemitone[letter - 'a'];
    size_t i = 1;
    if (name[i] == '#') {
        ++semi;
        ++i;
    } else if (name[i] == 'b' && i + 1 < name.size()) {
        --semi;
        ++i;
    }
    if (i >= name.size() || !std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
    const int octave = name[i] - '0';
    return 12 * (octave + 1) + semi;
}

std::vector<NoteEvent> parseNotes(const std::string& pattern)
{
    std::vector<NoteEvent> notes;
    std::istringstream in(pattern);
    std::string word;
    int step = 0;
    bool holding = false;
    while (in >> word) {
        if (word == "|") continue;
        if (word == "-") {
            if (holding && !notes.empty()) ++notes.back().steps;
        } else if (word == ".") {
            holding = false;
        } else {
            bool slide = false;
            if (word[0] == '~') {
                slide = true;
                word.erase(0, 1);
            }
            const int midi = noteNumber(word);
            if (midi >= 0) {
                const bool accent = std::isupper(static_cast<unsigned char>(word[0])) != 0;
                notes.push_back({step, 1, midi, accent ? 1.0 : 0.75, slide});
                holding = true;
            }
        }
        ++step;
    }
    return notes;
}

int64_t Grid::frame(double step) const
{
    const double whole = std::floor(step);
    double pos = step;
    if (static_cast<int64_t>(whole) % 2 != 0) pos += swing_ * (1.0 - (step - whole));
    return static_cast<int64_t>(std::floor(pos * fpb_ / 4.0 + 0.5));
}

}  // namespace demolib
