#include "library/BLLibraryFigures.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "audio/AudioFormat.h"
#include "core/kelFiles.h"

namespace {

bool endsWithNoCase(std::string_view name, std::string_view end)
{
    if (name.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), name.end() - static_cast<long>(end.size()), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && endsWithNoCase(a, b);
}

}  // namespace

void BLLibraryFigures::start(const char* libraryFolder)
{
    *this = BLLibraryFigures{};
    root_ = libraryFolder ? libraryFolder : ":Library:";
    if (root_.empty() || root_.back() != ':') root_ += ':';
    work_.push_back(Work{root_, Kind::Other, true, ""});
    started_ = true;
}

void BLLibraryFigures::list(const Work& folder)
{
    std::vector<KelFolderEntry> entries;
    if (!KEL_ListFolder(folder.path.c_str(), entries)) return;
    // Walked in name order: the entries go on the stack the other way round.
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        Work w{folder.path + e->name + (e->folder ? ":" : ""), folder.kind, e->folder, folder.owner};
        // A folder of Song: is a song, one of Synth: a synth sound.
        if (e->folder && (folder.path == root_ + "Song:" || folder.path == root_ + "Synth:")) {
            w.kind = folder.path == root_ + "Song:" ? Kind::Song : Kind::SynthSound;
            w.owner = w.path;
        }
        work_.push_back(std::move(w));
    }
}

bool BLLibraryFigures::step(int budget)
{
    for (; budget > 0 && !work_.empty(); --budget) {
        const Work w = work_.back();
        work_.pop_back();
        if (w.folder) {
            list(w);
            continue;
        }
        kelFileRec file{};
        long length = 0;
        if (KEL_FileOpenReadOnly(w.path.c_str(), &file)) {
            if (KEL_FileGetLength(&file, &length) && length > 0) bytes += length;
            KEL_FileClose(&file);
        }
        if (w.kind == Kind::Other || !endsWithNoCase(w.path, ".wav")) continue;
        const std::string name = w.path.substr(w.path.rfind(':') + 1);
        if (w.kind == Kind::SynthSound) {
            if (w.owner != counted_) ++synthSounds;
            counted_ = w.owner;
            continue;
        }
        if (sameNoCase(name, "preview.wav")) continue;  // the browser's audition
        int channels = 0, frames = 0;
        void* wave = OpenWave(w.path.c_str(), &channels, &frames);
        if (wave == F_NOFILE) continue;
        F_close(wave);
        if (w.owner != counted_) ++songs;
        counted_ = w.owner;
        ++loops;
        audioSeconds += frames / 44100.0;
    }
    return done();
}
