#include "library/BLInspect.h"

#include <filesystem>
#include <memory>
#include <string>

#include "core/kelFiles.h"
#include "core/kelPath.h"
#include "library/BLDocument.h"
#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"
#include "library/BLSongText.h"
#include "library/BLSynthIce.h"
#include "library/BLTake.h"

namespace fs = std::filesystem;

namespace {

std::string escaped(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void line(FILE* out, const char* kind, const char* text)
{
    std::fprintf(out, "%s\t%s\n", kind, escaped(text).c_str());
}

void line(FILE* out, const char* kind, long value)
{
    std::fprintf(out, "%s\t%ld\n", kind, value);
}

// The system path made absolute before the current folder changes.
std::string absolute(const char* path)
{
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) return path;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

void enterProgramFolder(const char* programFolder)
{
    std::error_code ec;
    if (programFolder && programFolder[0]) fs::current_path(programFolder, ec);
}

std::string kelOf(const std::string& system)
{
    std::string kel(kKelPathMax + 1, '\0');
    if (!KEL_SystemPathToKelPath(system.c_str(), kel.data(), static_cast<int>(kel.size()))) return {};
    kel.resize(std::char_traits<char>::length(kel.c_str()));
    return kel;
}

const char* sourceName(BLSongLibrary::Source source)
{
    switch (source) {
        case BLSongLibrary::Source::programStore: return "program-store";
        case BLSongLibrary::Source::songFolder: return "song-folder";
        case BLSongLibrary::Source::infoFile: return "info-file";
        case BLSongLibrary::Source::sharedStore: return "shared-store";
        case BLSongLibrary::Source::none: break;
    }
    return "none";
}

void printSong(BLSongLibrary& lib, FILE* out)
{
    line(out, "parser", lib.parserVersion);
    std::fprintf(out, "source\t%s\t%s\n", sourceName(lib.source), escaped(lib.descriptionPath).c_str());
    line(out, "folder", lib.folderName);
    line(out, "title", lib.title);
    line(out, "library", lib.libraryName);
    line(out, "bpm", lib.bpm);
    line(out, "arpnote", lib.arpNotes);
    line(out, "description", lib.description);
    line(out, "songmix", lib.songMix);
    line(out, "categories", lib.categoryCount);
    line(out, "samples", lib.sampleCount);
    line(out, "groups", lib.groupCount);
    for (int g = 0; g < lib.groupCount; ++g) {
        const BLSongGroup& group = lib.groups[g];
        std::fprintf(out, "group\t%d\t%s\t%d\n", g, escaped(group.name).c_str(), group.count);
        for (int s = 0; s < group.count; ++s) {
            if (group.id[s] == kBLNoSample) continue;
            std::fprintf(out, "slot\t%d\t%d\t%u\t%s\t%s\t%d\t%d\t%d\n", g, s, group.id[s],
                         escaped(group.file[s]).c_str(), escaped(group.label[s]).c_str(), group.volume[s],
                         group.pan[s], group.repeats[s]);
        }
    }
    line(out, "randomsets", lib.randomSetCount);
    for (int r = 0; r < lib.randomSetCount; ++r) {
        const BLRandomSet& set = lib.randomSets[r];
        std::fprintf(out, "randomset\t%d\t%s\t%d", r, escaped(set.name).c_str(), set.count);
        for (int k = 0; k < set.count; ++k) std::fprintf(out, "\t%d", set.groups[k]);
        std::fputc('\n', out);
    }
    line(out, "styles", lib.styleCount);
    for (int s = 0; s < lib.styleCount; ++s) {
        const BLStyle& style = lib.styles[s];
        std::fprintf(out, "style\t%d\t%s\t%d\t%d\n", s, escaped(style.name).c_str(), style.columnCount,
                     style.rowCount);
        for (int c = 0; c < style.columnCount; ++c)
            std::fprintf(out, "column\t%d\t%d\t%d\n", s, c, style.columns[c]);
        for (int r = 0; r < style.rowCount; ++r) {
            std::fprintf(out, "row\t%d\t%d", s, r);
            for (int t = 0; t < kBLStyleTracks; ++t) std::fprintf(out, "\t%d", style.rows[r][t]);
            std::fputc('\n', out);
        }
    }
}

void printTracks(FILE* out, const char* groove, const BLGroove& g)
{
    for (int t = 0; t < kBLGrooveTracks; ++t) {
        const BLTrack& k = g.tracks[t];
        std::fprintf(out, "track\t%s\t%d\t%u\t%d\t%d\t%d\n", groove, t, k.volume, k.pan, k.group, k.slot);
    }
    // Its effects as the command line gives them, whether installed or not.
    for (int r = 0; r < kFxRacks; ++r)
        for (int k = 0; k < kFxSlots; ++k) {
            const FxSlot& s = g.fx.racks[r].slots[k];
            if (s.empty()) continue;
            std::fprintf(out, "effect\t%s\t%s\t%d\t%s%s%s\n", groove,
                         r == kFxMain ? "main" : std::to_string(r).c_str(), k,
                         escaped(FxSlot_ToText(s).c_str()).c_str(), s.bypass ? "\tbypassed" : "",
                         s.state.empty() ? "" : "\twith its state");
        }
}

void printDocument(const BLIceimage& ice, bool songFolderThere, const BLDocumentRead& read, FILE* out)
{
    line(out, "version", kBLDocumentVersion);
    line(out, "song", ice.songName);
    line(out, "songfolder", songFolderThere ? "present" : "missing");
    std::fprintf(out, "tempo\t%.2f\n", static_cast<double>(ice.bpm));
    line(out, "selected", ice.selectedTrack);
    const BLSequence& seq = ice.sequence;
    line(out, "grooves", seq.count);
    for (int i = 0; i < seq.count; ++i) {
        const std::string index = std::to_string(i);
        std::fprintf(out, "groove\t%d\t%u\n", i, seq.grooves[i].id);
        printTracks(out, index.c_str(), seq.grooves[i]);
    }
    std::fprintf(out, "groove\tcurrent\t%u\n", ice.groove.id);
    printTracks(out, "current", ice.groove);
    line(out, "sequence", seq.length);
    for (int i = 0; i < seq.length; ++i) std::fprintf(out, "entry\t%d\t%u\n", i, seq.entries[i]);
    line(out, "userlength", seq.userLength);
    line(out, "synth", read.synthRead ? "read" : read.synthDamaged ? "damaged" : "missing");
    // Each take: its number, name, length (m:ss) and how many changes it holds.
    line(out, "takes", static_cast<long>(ice.takes.size()));
    for (size_t i = 0; i < ice.takes.size(); ++i) {
        const BLTake& t = ice.takes[i];
        std::fprintf(out, "take\t%zu\t%s\t%s\t%d\n", i + 1, escaped(t.name.c_str()).c_str(),
                     BLTake_Length(t.frames, t.rate).c_str(), BLTake_Changes(t));
    }
    // What a document lost is told with the rest.
    if (read.imageShort) line(out, "image", "incomplete: its missing tail reads as zero");
    if (read.extrasDamaged) line(out, "extras", "damaged");
    if (read.effectsDamaged) line(out, "effects", "damaged (what could be read is above)");
    if (read.takesDamaged) line(out, "takes", "damaged (the takes read whole are above)");
}

// A song user loops are filed for, with nothing sent anywhere.
class SilentEngine : public BLEngineCalls {
public:
    void stop() override {}
    void setMixerFrequency(long) override {}
    void samplesListReset() override {}
    void samplesBpm(float) override {}
    void samplesListAdd(const char*, short) override {}
};

}  // namespace

int BLInspect_SongInfo(const char* folder, const char* programFolder, FILE* out, FILE* err)
{
    const std::string system = absolute(folder ? folder : "");
    std::error_code ec;
    if (!folder || !fs::is_directory(system, ec)) {
        std::fprintf(err, "beatloom: %s is not a folder\n", folder ? folder : "(none)");
        return 1;
    }
    enterProgramFolder(programFolder);
    std::string kel = kelOf(system);
    if (kel.empty()) {
        std::fprintf(err, "beatloom: the path %s cannot be used by the program\n", folder);
        return 1;
    }
    if (kel.back() != ':') kel += ':';
    auto lib = std::make_unique<BLSongLibrary>();
    if (!lib->load(kel.c_str())) {
        std::fprintf(err,
                     "beatloom: no song description for %s (looked in the program's store, in the folder, "
                     "for its info.bls and in the shared store three folders up)\n",
                     folder);
        return 1;
    }
    if (lib->reading == BLSongLibrary::Reading::damaged) {
        std::fprintf(err, "beatloom: the description %s is damaged: a record of it cannot be read\n",
                     lib->descriptionPath);
        return 1;
    }
    if (lib->reading == BLSongLibrary::Reading::noFormatLine) {
        std::fprintf(err, "beatloom: %s is not a BLS 1.2 description (its first line is not \"%s ...\")\n",
                     lib->descriptionPath, kBLSFormatKeyword);
        return 1;
    }
    if (!lib->tempoUsable()) {
        std::fprintf(err, "beatloom: the description %s is damaged: its tempo (%d) cannot be played\n",
                     lib->descriptionPath, lib->bpm);
        return 1;
    }
    SilentEngine silent;
    lib->fillSamplesList(kel.c_str(), silent);
    printSong(*lib, out);
    if (!lib->unreadableLoops.empty()) line(out, "unreadable", lib->unreadableLoops.c_str());
    return 0;
}

int BLInspect_DocInfo(const char* document, const char* programFolder, FILE* out, FILE* err)
{
    const std::string system = absolute(document ? document : "");
    std::error_code ec;
    if (!document || !fs::is_regular_file(system, ec)) {
        std::fprintf(err, "beatloom: cannot open %s\n", document ? document : "(none)");
        return 1;
    }
    enterProgramFolder(programFolder);
    const std::string kel = kelOf(system);
    auto ice = std::make_unique<BLIceimage>();
    BLSynthDefaultDocument synth;
    const BLDocumentRead read =
        kel.empty() ? BLDocumentRead{} : BLDocument_Read(kel.c_str(), ice.get(), &synth);
    const char* problem = nullptr;
    std::string other;
    switch (read.status) {
        case BLDocumentRead::cannotOpen: problem = "is not a groove document (not an atoms file)"; break;
        case BLDocumentRead::noVersion: problem = "is not a groove document (it has no version atom)"; break;
        case BLDocumentRead::otherVersion:
            other = "is a groove document of version " + std::to_string(read.version) +
                    "; this program reads version 1";
            problem = other.c_str();
            break;
        case BLDocumentRead::noImage: problem = "is damaged: its groove image is missing or cut off"; break;
        case BLDocumentRead::read:
            if (!ice->valid) problem = "holds no groove image (it is marked empty)";
            break;
    }
    if (problem) {
        std::fprintf(err, "beatloom: %s %s\n", document, problem);
        return 1;
    }
    kelPath songFolder((std::string(":Library:Song:") + ice->songName + ":").c_str());
    printDocument(*ice, bltext::isPlainName(ice->songName) && songFolder.isFolder(), read, out);
    return 0;
}
