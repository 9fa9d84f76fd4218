// Opening a song: the engine's samples list from the description's file
// words, and the user's own loops from the song's "User:" folder.
#include <cstring>
#include <string>
#include <vector>

#include "library/BLLoopCache.h"
#include "library/BLSongLibrary.h"
#include "library/BLSongText.h"

namespace {

// The name without its extension (the text before the last '.').
std::string stemOf(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The file of the song folder that a file word stands for: the word itself,
// the word with ".wav", or else the first file (in name order) whose name,
// with or without its extension, equals the word ignoring the letter case.
// Empty when there is none.
std::string sampleFile(const char* folder, const char* word, const std::vector<KelFolderEntry>& files)
{
    if (!bltext::isPlainName(word)) return {};  // it could lead out of the song folder
    const std::string exact = word;
    const std::string withWav = exact + ".wav";
    for (const std::string* wanted : {&exact, &withWav})
        for (const KelFolderEntry& e : files)
            if (e.name == *wanted) return folder + e.name;
    for (const KelFolderEntry& e : files)
        if (BLSongLibrary::strcasecmp(e.name.c_str(), word) == 0 ||
            BLSongLibrary::strcasecmp(stemOf(e.name).c_str(), word) == 0)
            return folder + e.name;
    return {};
}

std::vector<KelFolderEntry> filesIn(const std::string& folder)
{
    std::vector<KelFolderEntry> entries, files;
    if (KEL_ListFolder(folder.c_str(), entries))
        for (KelFolderEntry& e : entries)
            if (!e.folder) files.push_back(std::move(e));
    return files;
}

}  // namespace

void BLSongLibrary::fillSamplesList(const char* folderPath, BLEngineCalls& engine)
{
    std::string folder = folderPath ? folderPath : "";
    if (!folder.empty() && folder.back() != ':') folder += ':';
    engine.samplesListReset();
    engine.samplesBpm(static_cast<float>(bpm));

    // Engine index = sample id, so every id gets an entry; one that no slot
    // holds (its line was left out) gets an entry without a loop.
    std::vector<int32_t> slotOf(static_cast<size_t>(sampleCount > 0 ? sampleCount : 0), -1);
    for (int16_t g = 0; g < groupCount; ++g)
        for (int16_t s = 0; s < groups[g].count; ++s)
            if (groups[g].id[s] < slotOf.size() && slotOf[groups[g].id[s]] < 0)
                slotOf[groups[g].id[s]] = g * kBLMaxSlots + s;
    unreadableLoops.clear();
    // The file the engine plays for a loop; empty (an entry without a loop,
    // the slot marked) when there is none it can play.
    auto playable = [this](const std::string& file, const char* name, uint8_t& unreadable) {
        std::string play = file.empty() ? std::string() : BL_LoopForEngine(file);
        unreadable = play.empty() ? 1 : 0;
        if (unreadable) {
            if (!unreadableLoops.empty()) unreadableLoops += ", ";
            unreadableLoops += file.empty() ? name : file.substr(file.rfind(':') + 1);
        }
        return play;
    };
    const std::vector<KelFolderEntry> files = filesIn(folder);
    for (const int32_t at : slotOf) {
        if (at < 0) {
            engine.samplesListAdd("", 1);
            continue;
        }
        BLSongGroup& g = groups[at / kBLMaxSlots];
        const int s = at % kBLMaxSlots;
        const std::string file = sampleFile(folder.c_str(), g.file[s], files);
        engine.samplesListAdd(playable(file, g.file[s], g.unreadable[s]).c_str(), g.repeats[s]);
    }

    const std::string userFolder = folder + "User:";
    int16_t user = -1;
    for (const KelFolderEntry& e : filesIn(userFolder)) {
        if (sampleCount >= kBLMaxSampleLines) break;
        if (user < 0) {
            if (groupCount >= kBLMaxGroups) break;
            addGroup("User");
            user = static_cast<int16_t>(groupCount - 1);
        }
        BLSongGroup& g = groups[user];
        if (g.count >= kBLMaxSlots) break;
        const int16_t s = g.count++;
        g.id[s] = static_cast<uint16_t>(sampleCount++);
        g.volume[s] = 100;
        g.pan[s] = 60;
        g.repeats[s] = 1;
        KEL_CopyCut(g.file[s], kBLNameSize, e.name.c_str());
        // The menu shows the loop's name as it was given, without ".wav".
        const size_t dot = e.name.rfind('.');
        KEL_CopyCut(g.label[s], kBLNameSize, e.name.substr(0, dot == 0 ? std::string::npos : dot).c_str());
        engine.samplesListAdd(playable(userFolder + e.name, g.file[s], g.unreadable[s]).c_str(), 0);
    }
}
