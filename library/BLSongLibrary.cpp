#include "library/BLSongLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "library/BLBlsParser.h"
#include "library/BLSongText.h"

BLSongLibrary::BLSongLibrary()
{
    headerOnly = false;
    clear("", "");
    source = Source::none;
    descriptionPath[0] = '\0';
}

void BLSongLibrary::clear(const char* folder, const char* version)
{
    for (BLSongGroup& g : groups) {
        g.name[0] = '\0';
        g.count = 0;
        for (int s = 0; s < kBLMaxSlots; ++s) {
            g.file[s][0] = '\0';
            g.label[s][0] = '\0';
            g.id[s] = kBLNoSample;
            g.volume[s] = 0;
            g.pan[s] = 0;
            g.repeats[s] = 1;
            g.unreadable[s] = 0;
        }
    }
    noneText[0] = '\0';
    unreadableLoops.clear();
    groupCount = 0;
    for (BLRandomSet& r : randomSets) {
        r.count = 0;
        std::fill(std::begin(r.groups), std::end(r.groups), int16_t{-1});
        r.name[0] = '\0';
    }
    randomSetCount = 0;
    for (BLStyle& st : styles) {
        std::fill(std::begin(st.columns), std::end(st.columns), int16_t{-1});
        for (auto& row : st.rows) std::fill(std::begin(row), std::end(row), int16_t{-1});
        st.columnCount = 0;
        st.rowCount = 0;
        st.name[0] = '\0';
    }
    styleCount = 0;
    bpm = 0;
    arpNotes[0] = '\0';
    title[0] = '\0';
    libraryName[0] = '\0';
    description[0] = '\0';
    songMix = 0;
    categoryCount = 0;
    sampleCount = 0;
    reading = Reading::complete;
    bltext::folderNameOf(folder, folderName, sizeof folderName);
    KEL_CopyCut(parserVersion, sizeof parserVersion, version);
}

int BLSongLibrary::strcasecmp(const char* a, const char* b)
{
    if (!a || !b) return a == b ? 0 : 1;
    for (; *a && *b; ++a, ++b)
        if (bltext::lower(*a) != bltext::lower(*b)) return 1;
    return *a == *b ? 0 : 1;
}

void BLSongLibrary::addGroup(const char* name)
{
    if (groupCount >= kBLMaxGroups) return;
    BLSongGroup& g = groups[groupCount++];
    KEL_CopyCut(g.name, sizeof g.name, name ? name : "");
    g.count = 0;
    for (int s = 0; s < kBLMaxSlots; ++s) {
        g.file[s][0] = '\0';
        g.label[s][0] = '\0';
        g.id[s] = kBLNoSample;
        g.volume[s] = 0;
        g.pan[s] = 0;
        g.repeats[s] = 1;
        g.unreadable[s] = 0;
    }
}

int16_t BLSongLibrary::getGroupIndex(const char* name) const
{
    for (int16_t i = 0; i < groupCount; ++i)
        if (strcasecmp(groups[i].name, name) == 0) return i;
    return -1;
}

void BLSongLibrary::add(const char* file, int16_t id, const char* label, int16_t volume, int16_t pan,
                        int16_t repeats)
{
    // The word names a file of the song folder and its group: one that a
    // field cannot hold whole, or without a number 01 .. 64, is left out.
    const size_t length = file ? std::strlen(file) : 0;
    if (length < 3 || length >= static_cast<size_t>(kBLNameSize) || id < 0) return;
    const char tens = file[length - 2], ones = file[length - 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return;
    const int slot = 10 * (tens - '0') + (ones - '0') - 1;
    if (slot < 0 || slot >= kBLMaxSlots) return;

    char name[kBLNameSize];
    std::memcpy(name, file, length - 2);
    name[length - 2] = '\0';
    int16_t group = getGroupIndex(name);
    if (group < 0) {
        if (groupCount >= kBLMaxGroups) return;
        addGroup(name);
        group = static_cast<int16_t>(groupCount - 1);
    }

    BLSongGroup& g = groups[group];
    g.count = static_cast<int16_t>(slot + 1);
    g.id[slot] = static_cast<uint16_t>(id);
    g.volume[slot] = std::clamp<int16_t>(volume, 0, 127);
    g.pan[slot] = std::clamp<int16_t>(pan, 0, 126);
    g.repeats[slot] = std::clamp<int16_t>(repeats, 1, 32);
    std::memcpy(g.file[slot], file, length + 1);
    if (label && label[0])
        KEL_CopyCut(g.label[slot], kBLNameSize, label);
    else
        std::snprintf(g.label[slot], kBLNameSize, "[%03d]", id);
}

bool BLSongLibrary::hasSlot(int16_t group, int16_t slot) const
{
    return group >= 0 && group < groupCount && slot >= 0 && slot < groups[group].count &&
           groups[group].id[slot] != kBLNoSample;
}

uint16_t BLSongLibrary::sampleId(int16_t group, int16_t slot) const
{
    return hasSlot(group, slot) && !groups[group].unreadable[slot] ? groups[group].id[slot] : kBLNoSample;
}

const char* BLSongLibrary::getIndexStr(int16_t group, int16_t slot) const
{
    if (group < 0 || group >= groupCount || slot < 0 || slot >= kBLMaxSlots) return "";
    return groups[group].label[slot];
}

const char* BLSongLibrary::getGroupStr(int16_t group)
{
    if (group < 0 || group >= groupCount) {
        std::snprintf(noneText, sizeof noneText, " ---");
        return noneText;
    }
    return groups[group].name;
}

const char* BLSongLibrary::getGroupAndIndex(uint16_t id, int16_t* group, int16_t* slot) const
{
    for (int16_t g = 0; g < groupCount; ++g) {
        for (int16_t s = 0; s < groups[g].count; ++s) {
            if (groups[g].id[s] != id) continue;
            if (group) *group = g;
            if (slot) *slot = s;
            return groups[g].label[s];
        }
    }
    return nullptr;
}

bool BLSongLibrary::load(const char* folderPath)
{
    std::string folder = folderPath ? folderPath : "";
    if (folder.empty()) return false;
    if (folder.back() != ':') folder += ':';
    char name[kKelNameMax + 1];
    if (!KEL_File_GetParentName(folder.c_str(), name, sizeof name) || !name[0]) return false;
    bltext::folderNameOf(folder.c_str(), folderName, sizeof folderName);
    source = Source::none;
    descriptionPath[0] = '\0';

    auto found = [this](Source where, const std::string& path) {
        source = where;
        KEL_CopyCut(descriptionPath, sizeof descriptionPath, path.c_str());
    };

    BLBlsParser parser;
    const std::string embedded = std::string(":Library:Bls:") + name + ".bls";
    if (parser.open(embedded.c_str())) {
        found(Source::programStore, embedded);
        load_12(&parser, folder.c_str());
        bltext::append(title, sizeof title, " (embedded)");
        return true;
    }

    if (parser.openInFolder(folder.c_str())) {
        found(Source::songFolder, folder + bltext::firstDescriptionIn(folder.c_str()));
        load_12(&parser, folder.c_str());
        return true;
    }

    const std::string info = folder + "info.bls";
    if (parser.open(info.c_str())) {
        found(Source::infoFile, info);
        if (!load_12(&parser, folder.c_str())) {
            parser.restart();
            load_10(&parser, folder.c_str());
        }
        return true;
    }

    std::vector<char> shared(folder.begin(), folder.end());
    shared.push_back('\0');
    for (int up = 0; up < 3; ++up)
        if (!KEL_File_GoParent(shared.data())) return false;
    const std::string store = std::string(shared.data()) + "BLS:BLS44:" + name + ".bls";
    if (!parser.open(store.c_str())) return false;
    found(Source::sharedStore, store);
    return load_12(&parser, folder.c_str());
}
