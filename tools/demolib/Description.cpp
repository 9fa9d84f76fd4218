#include "tools/demolib/Description.h"

namespace demolib {

const char* const kFormatKeyword = "SONGFORMAT:";

std::vector<std::string> describe12(const Song& song)
{
    std::vector<std::string> lines;
    lines.push_back(std::string(kFormatKeyword) + " BLS 1.2");
    lines.push_back("SONGLIBRARY: " + song.library);
    lines.push_back("SONGTITLE: " + song.title);
    // The description runs on over the lines that follow it.
    for (size_t i = 0; i < song.description.size(); ++i)
        lines.push_back(i == 0 ? "SONGDESCRIPTION: " + song.description[i] : song.description[i]);
    lines.push_back("SONGBPM: " + std::to_string(song.bpm));
    lines.push_back("SONGMIX: " + std::to_string(song.songMix));
    lines.push_back("ARPNOTE: " + song.arpNotes);

    lines.push_back("LONGCOMMAND: CATEGORYLIST: " + std::to_string(song.groups.size()));
    for (const std::string& g : song.groups) lines.push_back(g);
    lines.push_back("ENDCOMMAND:");

    lines.push_back("LONGCOMMAND: RANDOMSET: " + std::to_string(song.randomSets.size()));
    for (const RandomSet& set : song.randomSets) {
        std::string line = set.name + " " + std::to_string(set.groups.size());
        for (const std::string& g : set.groups) line += " " + g;
        lines.push_back(line);
    }
    lines.push_back("ENDCOMMAND:");

    lines.push_back("LONGCOMMAND: SONGTRACKS: " + std::to_string(song.samples.size()));
    for (const Sample& s : song.samples)
        lines.push_back(s.fileWord() + " " + std::to_string(s.volume) + " " + std::to_string(s.pan) + " " +
                        std::to_string(s.repeats()) + " " + s.label);
    lines.push_back("ENDCOMMAND:");

    for (const Style& style : song.styles) {
        lines.push_back("LONGCOMMAND: SONGVMIX: " + std::to_string(style.columns.size()) + " " +
                        std::to_string(style.rows.size()) + " " + style.name);
        for (const std::string& c : style.columns) lines.push_back(c);
        for (const auto& row : style.rows) {
            std::string line;
            for (size_t t = 0; t < row.size(); ++t) line += (t ? " " : "") + std::to_string(row[t]);
            lines.push_back(line);
        }
        lines.push_back("ENDCOMMAND:");
    }
    return lines;
}

std::vector<std::string> describe10(const Song& song)
{
    std::vector<std::string> lines;
    // The reader spends the first line looking for the 1.2 format word; a
    // comment has no first word, so it can never be taken for one.
    lines.push_back("; BLS 1.0");
    for (const Sample& s : song.samples)
        lines.push_back(s.fileWord() + " " + s.label + " " + std::to_string(s.volume) + " " +
                        std::to_string(s.pan) + " 0 " + std::to_string(s.repeats()));
    lines.push_back("**" + std::to_string(song.bpm));
    lines.push_back("*" + song.arpNotes);
    lines.push_back("*0");
    lines.push_back("*" + song.title);
    std::string text;
    for (const std::string& d : song.description) text += (text.empty() ? "" : " ") + d;
    lines.push_back("*" + text);
    lines.push_back("*" + std::to_string(song.songMix));
    lines.push_back("*" + song.library);
    return lines;
}

}  // namespace demolib
