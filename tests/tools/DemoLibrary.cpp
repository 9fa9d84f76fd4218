#include "tools/DemoLibrary.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "audio/AudioFormat.h"
#include "core/kelFiles.h"
#include "library/BLBlsParser.h"
#include "support/TestSupport.h"
#include "tools/demolib/Description.h"

namespace fs = std::filesystem;

namespace demotest {

std::string libraryDir()
{
    return testsupport::programDir() + "/Library";
}

std::string kelPath(const std::string& systemPath)
{
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(systemPath.c_str(), kel, sizeof kel)) return "";
    return kel;
}

std::vector<std::string> decodeLines(const std::string& systemPath)
{
    std::vector<std::string> lines;
    BLBlsParser parser;
    if (!parser.open(kelPath(systemPath).c_str())) return lines;
    while (parser.next()) lines.emplace_back(parser.currentLine());
    return lines;
}

std::vector<std::string> songFolders()
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(libraryDir() + "/Song", ec))
        if (e.is_directory()) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string groupOf(const std::string& word)
{
    return word.size() > 2 ? word.substr(0, word.size() - 2) : "";
}

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

int number(const std::string& s, int fallback = -9999)
{
    try {
        size_t used = 0;
        const int v = std::stoi(s, &used);
        return used == s.size() ? v : fallback;
    } catch (...) {
        return fallback;
    }
}

// Reads one "LONGCOMMAND: <kind>: ..." block starting at lines[i]; returns the
// lines inside it and leaves i after its ENDCOMMAND.
std::vector<std::string> block(const std::vector<std::string>& lines, size_t& i, SongDescription& d)
{
    std::vector<std::string> inside;
    ++i;
    while (i < lines.size() && !startsWith(lines[i], "ENDCOMMAND:")) inside.push_back(lines[i++]);
    if (i == lines.size())
        d.problems.push_back("block without ENDCOMMAND:");
    else
        ++i;
    return inside;
}

void read12(const std::vector<std::string>& lines, SongDescription& d)
{
    size_t i = 1;
    auto expect = [&](const std::string& keyword) -> std::string {
        if (i < lines.size() && startsWith(lines[i], keyword + " "))
            return lines[i++].substr(keyword.size() + 1);
        d.problems.push_back("missing " + keyword);
        return "";
    };
    d.library = expect("SONGLIBRARY:");
    d.title = expect("SONGTITLE:");
    d.description = expect("SONGDESCRIPTION:");
    while (i < lines.size() && !startsWith(lines[i], "SONGBPM:")) d.description += " " + lines[i++];
    d.bpm = number(expect("SONGBPM:"));
    if (number(expect("SONGMIX:")) < 0) d.problems.push_back("SONGMIX: not a number");
    d.arpNotes = expect("ARPNOTE:");

    while (i < lines.size()) {
        const std::vector<std::string> head = words(lines[i]);
        if (head.size() < 3 || head[0] != "LONGCOMMAND:") {
            d.problems.push_back("unexpected line: " + lines[i]);
            ++i;
            continue;
        }
        const std::string kind = head[1];
        const int count = number(head[2]);
        if (kind == "CATEGORYLIST:") {
            for (const std::string& l : block(lines, i, d))
                d.groups.push_back(words(l).empty() ? "" : words(l)[0]);
            if (count != static_cast<int>(d.groups.size())) d.problems.push_back("CATEGORYLIST count");
        } else if (kind == "RANDOMSET:") {
            const std::vector<std::string> sets = block(lines, i, d);
            if (count != static_cast<int>(sets.size())) d.problems.push_back("RANDOMSET count");
            for (const std::string& l : sets) {
                const std::vector<std::string> w = words(l);
                if (w.size() < 2 || number(w[1]) != static_cast<int>(w.size()) - 2)
                    d.problems.push_back("random set: " + l);
                std::vector<std::string> set;
                if (!w.empty()) set.push_back(w[0]);
                for (size_t k = 2; k < w.size(); ++k) set.push_back(w[k]);
                d.randomSets.push_back(set);
            }
        } else if (kind == "SONGTRACKS:") {
            const std::vector<std::string> samples = block(lines, i, d);
            if (count != static_cast<int>(samples.size())) d.problems.push_back("SONGTRACKS count");
            for (const std::string& l : samples) {
                const std::vector<std::string> w = words(l);
                if (w.size() != 5) d.problems.push_back("sample line: " + l);
                SampleLine s;
                if (w.size() >= 4) {
                    s.word = w[0];
                    s.volume = number(w[1]);
                    s.pan = number(w[2]);
                    s.repeats = number(w[3]);
                }
                if (w.size() >= 5) s.label = w[4];
                d.samples.push_back(s);
            }
        } else if (kind == "SONGVMIX:") {
            StyleBlock style;
            const std::string header = lines[i];
            const int rows = head.size() > 3 ? number(head[3]) : -1;
            if (head.size() > 4) style.name = head[4];
            const std::vector<std::string> inside = block(lines, i, d);
            if (count < 0 || rows < 0 || static_cast<int>(inside.size()) != count + rows) {
                d.problems.push_back("SONGVMIX sizes: " + header);
            } else {
                for (int k = 0; k < count; ++k)
                    style.columns.push_back(words(inside[static_cast<size_t>(k)])[0]);
                for (int k = count; k < count + rows; ++k) {
                    std::vector<int> row;
                    for (const std::string& v : words(inside[static_cast<size_t>(k)]))
                        row.push_back(number(v));
                    style.rows.push_back(row);
                }
            }
            d.styles.push_back(style);
        } else {
            d.problems.push_back("unknown block " + kind);
            block(lines, i, d);
        }
    }
}

void read10(const std::vector<std::string>& lines, SongDescription& d)
{
    size_t i = 1;
    for (; i < lines.size() && !startsWith(lines[i], "*"); ++i) {
        const std::vector<std::string> w = words(lines[i]);
        if (w.size() != 6) d.problems.push_back("sample line: " + lines[i]);
        SampleLine s;
        if (w.size() >= 6) {
            s.word = w[0];
            s.label = w[1];
            s.volume = number(w[2]);
            s.pan = number(w[3]);
            s.repeats = number(w[5]);
        }
        d.samples.push_back(s);
    }
    if (i + 7 != lines.size()) {
        d.problems.push_back("expected the tempo line and six more after the samples");
        return;
    }
    std::string tempo = lines[i];
    tempo.erase(0, tempo.find_first_not_of('*'));
    d.bpm = number(tempo);
    auto text = [&](size_t k) { return lines[k][0] == '*' ? lines[k].substr(1) : lines[k]; };
    d.arpNotes = text(i + 1);
    d.title = text(i + 3);
    d.description = text(i + 4);
    d.library = text(i + 6);
    for (const SampleLine& s : d.samples)
        if (std::find(d.groups.begin(), d.groups.end(), groupOf(s.word)) == d.groups.end())
            d.groups.push_back(groupOf(s.word));
}

}  // namespace

SongDescription readSong(const std::string& folder)
{
    SongDescription d;
    d.folder = folder;
    const std::string songDir = libraryDir() + "/Song/" + folder;
    std::vector<std::string> candidates = {libraryDir() + "/Bls/" + folder + ".bls"};
    std::error_code ec;
    std::vector<std::string> inFolder;
    for (const fs::directory_entry& e : fs::directory_iterator(songDir, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "info.bls" && e.path().extension() == ".bls") inFolder.push_back(e.path().string());
    }
    std::sort(inFolder.begin(), inFolder.end());
    candidates.insert(candidates.end(), inFolder.begin(), inFolder.end());
    candidates.push_back(songDir + "/info.bls");
    for (const std::string& c : candidates) {
        if (!fs::exists(c)) continue;
        d.path = c;
        const std::vector<std::string> lines = decodeLines(c);
        if (lines.empty()) {
            d.problems.push_back("no lines decoded from " + c);
        } else if (startsWith(lines[0], std::string(demolib::kFormatKeyword) + " ")) {
            d.version = 12;
            read12(lines, d);
        } else {
            d.version = 10;
            read10(lines, d);
        }
        return d;
    }
    d.problems.push_back("no description found");
    return d;
}

namespace {

uint32_t le32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint32_t le16(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

}  // namespace

std::string canonicalHeaderProblem(const std::string& systemPath, int channels)
{
    const std::string b = testsupport::readFile(systemPath);
    const uint32_t c = static_cast<uint32_t>(channels);
    if (b.size() < 44) return "shorter than a header";
    if (b.substr(0, 4) != "RIFF" || b.substr(8, 8) != "WAVEfmt " || b.substr(36, 4) != "data")
        return "chunk names";
    if (le32(b, 4) != b.size() - 8) return "RIFF size";
    if (le32(b, 16) != 16 || le16(b, 20) != 1) return "format chunk size or tag";
    if (le16(b, 22) != c) return "channels " + std::to_string(le16(b, 22));
    if (le32(b, 24) != 44100 || le32(b, 28) != 44100 * 2 * c) return "rates";
    if (le16(b, 32) != 2 * c || le16(b, 34) != 16) return "block align or bits";
    if (le32(b, 40) != b.size() - 44) return "data length";
    return "";
}

Wave readWave(const std::string& systemPath)
{
    Wave w;
    void* file = OpenWave(kelPath(systemPath).c_str(), &w.channels, &w.frames);
    if (file == F_NOFILE) return w;
    std::vector<uint8_t> bytes(static_cast<size_t>(w.frames) * static_cast<size_t>(w.channels) * 2);
    const int got = bytes.empty() ? 0 : F_read(file, bytes.data(), static_cast<int>(bytes.size()));
    F_close(file);
    if (got != static_cast<int>(bytes.size())) return w;
    w.samples.resize(bytes.size() / 2);
    for (size_t i = 0; i < w.samples.size(); ++i)
        w.samples[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    w.ok = true;
    return w;
}

}  // namespace demotest
