// Reading the two versions of a song description into the library.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/kelCore.h"
#include "library/BLBlsParser.h"
#include "library/BLSongLibrary.h"
#include "library/BLSongText.h"

namespace {

// Words are read into buffers larger than any field, so that a word too long
// for its field is seen whole (and refused or cut) instead of cut silently.
constexpr size_t kWordSize = 256;

bool is(const char* word, const char* keyword)
{
    return std::strcmp(word, keyword) == 0;
}

// The description's lines. A block line meant for a later block is kept
// back for it, so a description that leaves a block out still has the rest.
class Lines {
public:
    Lines(BLSongLibrary& library, BLBlsParser* parser) : library(library), parser(parser) {}

    bool next()
    {
        kept = false;
        if (parser->next()) return true;
        if (parser->lastRecord() == BLCryptRecord::damaged) library.reading = BLSongLibrary::Reading::damaged;
        return false;
    }
    // The line kept back, or else the next one.
    bool take()
    {
        if (!kept) return next();
        kept = false;
        parser->restart();
        return true;
    }
    void keep() { kept = true; }

    // The next word, "" when there is none.
    const char* word()
    {
        if (!parser->getStr(buffer)) buffer[0] = '\0';
        return buffer;
    }
    int16_t number(int16_t otherwise)
    {
        int16_t value = otherwise;
        parser->getShort(&value);
        return value;
    }
    // Reads "LONGCOMMAND: <block>" from the line taken; a line of another
    // block is kept back for it, any other line used up.
    bool blockStart(const char* block)
    {
        if (!take()) return false;
        if (!is(word(), "LONGCOMMAND:")) return false;
        if (is(word(), block)) return true;
        keep();
        return false;
    }
    // The next line of a block: false at its "ENDCOMMAND:" line or at the end
    // of the file; otherwise the cursor stays at the line's start.
    bool blockLine()
    {
        if (!next()) return false;
        if (is(word(), "ENDCOMMAND:")) return false;
        parser->restart();
        return true;
    }

private:
    BLSongLibrary& library;
    BLBlsParser* parser;
    bool kept = false;
    char buffer[kWordSize];
};

void readGroups(BLSongLibrary& lib, Lines& in)
{
    if (!in.blockStart("CATEGORYLIST:")) return;
    lib.categoryCount = in.number(lib.categoryCount);
    while (in.blockLine()) {
        const char* name = in.word();
        if (name[0]) lib.addGroup(name);  // a line without a word names no group
    }
}

void readRandomSets(BLSongLibrary& lib, Lines& in)
{
    if (!in.blockStart("RANDOMSET:")) return;
    lib.randomSetCount = std::clamp<int16_t>(in.number(0), 0, kBLMaxRandomSets);
    for (int index = 0; in.blockLine(); ++index) {
        if (index >= kBLMaxRandomSets) continue;
        BLRandomSet& set = lib.randomSets[index];
        KEL_CopyCut(set.name, sizeof set.name, in.word());
        bltext::upperFirst(set.name);
        set.count = std::clamp<int16_t>(in.number(0), 0, kBLRandomSetSize);
        for (int k = 0; k < set.count; ++k) set.groups[k] = lib.getGroupIndex(in.word());
    }
}

void readSamples(BLSongLibrary& lib, Lines& in)
{
    if (!in.blockStart("SONGTRACKS:")) return;
    int lines = 0;
    while (in.blockLine()) {
        if (lines >= kBLMaxSampleLines) continue;
        char file[kWordSize];
        KEL_CopyCut(file, sizeof file, in.word());
        const int16_t volume = in.number(100);
        const int16_t pan = in.number(63);
        const int16_t repeats = in.number(1);
        char label[kWordSize];
        KEL_CopyCut(label, sizeof label, in.word());
        lib.add(file, static_cast<int16_t>(lines), label, volume, pan, std::max<int16_t>(repeats, 1));
        ++lines;
    }
    lib.sampleCount = static_cast<int16_t>(lines);
}

// One "SONGVMIX:" block after its first line; true when it was complete.
bool readStyle(BLSongLibrary& lib, Lines& in, BLStyle& style, int columns, int rows)
{
    columns = std::max(columns, 0);
    rows = std::max(rows, 0);
    for (int c = 0; c < columns; ++c) {
        if (!in.next()) return false;
        const int16_t group = lib.getGroupIndex(in.word());
        if (c < kBLStyleColumns) style.columns[c] = group;
    }
    style.columnCount = static_cast<int16_t>(std::min(columns, kBLStyleColumns));
    for (int r = 0; r < rows; ++r) {
        if (!in.next()) return false;
        for (int t = 0; t < kBLStyleTracks; ++t) {
            int16_t column = in.number(-1);
            if (column < -1 || column >= style.columnCount) column = -1;  // no such column: silent
            if (r < kBLStyleRows) style.rows[r][t] = column;
        }
    }
    style.rowCount = static_cast<int16_t>(std::min(rows, kBLStyleRows));
    return in.next() && is(in.word(), "ENDCOMMAND:");
}

void readStyles(BLSongLibrary& lib, Lines& in)
{
    while (lib.styleCount < kBLMaxStyles && in.take()) {
        if (!is(in.word(), "LONGCOMMAND:")) return;
        if (!is(in.word(), "SONGVMIX:")) {
            in.keep();
            return;
        }
        BLStyle& style = lib.styles[lib.styleCount];
        const int16_t columns = in.number(0);
        const int16_t rows = in.number(0);
        KEL_CopyCut(style.name, sizeof style.name, in.word());
        bltext::upperFirst(style.name);
        if (!readStyle(lib, in, style, columns, rows)) {
            // Not counted, and left as an empty record.
            std::fill(std::begin(style.columns), std::end(style.columns), int16_t{-1});
            for (auto& row : style.rows) std::fill(std::begin(row), std::end(row), int16_t{-1});
            style.columnCount = style.rowCount = 0;
            style.name[0] = '\0';
            return;
        }
        ++lib.styleCount;
    }
}

}  // namespace

bool BLSongLibrary::load_12(BLBlsParser* parser, const char* folder)
{
    clear(folder, "Parser: BLS 1.2");
    if (!parser) return false;
    Lines in(*this, parser);
    BLBlsParser& p = *parser;

    if (!in.next() || !is(in.word(), kBLSFormatKeyword)) {
        if (reading == Reading::complete) reading = Reading::noFormatLine;
        return false;
    }
    if (in.next() && is(in.word(), "SONGLIBRARY:")) p.getText(libraryName);
    if (in.next() && is(in.word(), "SONGTITLE:")) p.getText(title);
    if (in.next()) {
        if (is(in.word(), "SONGDESCRIPTION:")) {
            p.getText(description);
            while (in.next()) {
                if (is(in.word(), "SONGBPM:")) {
                    p.restart();
                    break;
                }
                p.restart();
                char more[BLBlsParser::kLineSize];
                if (!p.getText(more)) more[0] = '\0';
                bltext::append(description, sizeof description, " ");
                bltext::append(description, sizeof description, more);
            }
        }
        if (is(in.word(), "SONGBPM:")) bpm = in.number(bpm);
    }
    if (in.next() && is(in.word(), "SONGMIX:")) songMix = in.number(songMix);
    if (in.next() && is(in.word(), "ARPNOTE:")) p.getText(arpNotes);
    if (headerOnly) return true;

    readGroups(*this, in);
    readRandomSets(*this, in);
    readSamples(*this, in);
    readStyles(*this, in);
    return true;
}

bool BLSongLibrary::load_10(BLBlsParser* parser, const char* folder)
{
    clear(folder, "Parser: BLS 1.0");
    if (!parser) return true;
    Lines in(*this, parser);
    BLBlsParser& p = *parser;

    bool starLine = false;
    int lines = 0;
    while (in.next()) {
        if (p.getStar()) {
            starLine = true;
            break;
        }
        if (lines >= kBLMaxSampleLines) continue;
        if (!headerOnly) {
            char file[kWordSize], label[kWordSize];
            KEL_CopyCut(file, sizeof file, in.word());
            KEL_CopyCut(label, sizeof label, in.word());
            const int16_t volume = in.number(100);
            const int16_t pan = in.number(63);
            in.number(0);
            const int16_t repeats = in.number(1);
            add(file, static_cast<int16_t>(lines), label, volume, pan, std::max<int16_t>(repeats, 1));
        }
        ++lines;
    }
    sampleCount = static_cast<int16_t>(lines);

    if (starLine) {
        p.getStar();
        bpm = in.number(bpm);
        while (bpm <= 0 && in.next()) {
            p.getStar();
            bpm = in.number(bpm);
        }
        if (in.next()) {
            p.getStar();
            p.getText(arpNotes);
        }
        in.next();
        if (in.next()) {
            p.getStar();
            p.getText(title);
        }
        if (in.next()) {
            p.getStar();
            p.getText(description);
        }
        in.next();
        in.next();
    }
    if (headerOnly) return true;

    for (int r = 0; r < 4; ++r) {
        BLRandomSet& set = randomSets[r];
        std::snprintf(set.name, sizeof set.name, "Rnd%d", r + 1);
        for (int k = 0; k < kBLRandomSetSize; ++k)
            set.groups[k] = static_cast<int16_t>(k < groupCount ? k : -1);
        set.count = static_cast<int16_t>(std::min<int>(groupCount, kBLRandomSetSize));
    }
    randomSetCount = 4;

    for (int s = 0; s < 4; ++s) {
        BLStyle& style = styles[s];
        std::snprintf(style.name, sizeof style.name, "Style%d", s + 1);
        // Without a group there is nothing to draw from: unknown columns.
        for (int c = 0; c < 16; ++c)
            style.columns[c] =
                static_cast<int16_t>(groupCount > 0 ? KEL_Random(static_cast<uint16_t>(groupCount)) : -1);
        for (int r = 0; r < 32; ++r) {
            for (int t = 0; t < kBLStyleTracks; ++t) {
                const int x = KEL_Random(10);
                if (x == 0)
                    style.rows[r][t] = -1;
                else if (x <= 4 && r > 0)
                    style.rows[r][t] = style.rows[r - 1][t];
                else
                    style.rows[r][t] = static_cast<int16_t>(KEL_Random(16));
            }
        }
        style.columnCount = 16;
        style.rowCount = 32;
    }
    styleCount = 4;
    return true;
}
