#include "library/BLMakeSong.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <thread>

#include "core/BLInternational.h"
#include "core/BLWriteReason.h"
#include "core/kelFiles.h"
#include "core/kelTextCodec.h"
#include "library/BLBlsWriter.h"
#include "platform/PlatFiles.h"
#include "platform/PlatGif.h"
#include "platform/PlatSound.h"
#include "platform/PlatStretch.h"
#include "platform/PlatTempo.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int kMaxGroups = 31;        // the song's own; the user loops take one more
constexpr int kMaxLoopsInGroup = 64;  // file numbers 01 to 64
constexpr int kMaxSeconds = 120;      // longer files are no loops
constexpr int kCycleBeats = 32;
// Bars that repeat a whole number of times in the 32-beat cycle.
constexpr uint32_t kCycleBars = 1u << 0 | 1u << 1 | 1u << 3 | 1u << 7;
constexpr size_t kMaxTitle = 63;
constexpr size_t kMaxDescription = 2000;  // within the line the reader holds
constexpr size_t kMaxWord = 31;

// The English texts of the messages, as the message table has them.
struct English {
    int16_t message;
    const char* text;
};
constexpr English kEnglish[] = {
    {kBLMsgLoopUnreadable, "cannot be read as sound"},
    {kBLMsgLoopTooLong, "is longer than %s seconds: no loop"},
    {kBLMsgLoopCutShort, "cannot be read to its end"},
    {kBLMsgLoopSilent, "holds no sound"},
    {kBLMsgLoopRate, "is at a rate that cannot be converted"},
    {kBLMsgLoopNoFile, "is no file"},
    {kBLMsgLoopNoTempo, "neither its name, nor its length, nor its beats give a tempo"},
    {kBLMsgLoopUnderABeat, "is shorter than one beat"},
    {kBLMsgLoopOver32Beats, "is longer than 32 beats"},
    {kBLMsgTooManyGroups, "a song holds %s groups at most"},
    {kBLMsgGroupFull, "the group %s holds %s loops already"},
    {kBLMsgPlanStopped, "stopped"},
    {kBLMsgNoSoundFiles, "no sound files were found"},
    {kBLMsgNoUsableLoop, "none of the files is a loop the song can use"},
    {kBLMsgTempoOutside, "the tempo %s BPM is outside 40 to 300"},
    {kBLMsgLoopHidden, "is hidden (its name begins with a dot)"},
    {kBLMsgLoopFolderLink, "is a link to a folder, which is not followed"},
    {kBLMsgLoopLinkToNothing, "is a link that leads to no file"},
    {kBLMsgLoopNotSound, "is not a sound file"},
    {kBLMsgFolderUnreadable, "is a folder that cannot be read to its end"},
};

std::string english(const BLMakeSongWhy& why)
{
    const char* text = "";
    for (const English& e : kEnglish)
        if (e.message == why.message) text = e.text;
    std::string out;
    size_t name = 0;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (name < why.names.size()) out += why.names[name++];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

BLMakeSongWhy because(int16_t message, std::vector<std::string> names = {})
{
    return {message, std::move(names)};
}

void leaveOut(BLMadeLoop& loop, BLMakeSongWhy why)
{
    loop.problem = english(why);
    loop.why = std::move(why);
}

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isSoundFile(const fs::path& p)
{
    static const char* const kinds[] = {".wav",  ".wave", ".aif", ".aiff", ".aifc",
                                        ".flac", ".ogg",  ".oga", ".opus", ".mp3"};
    const std::string ext = lower(p.extension().string());
    return std::any_of(std::begin(kinds), std::end(kinds), [&](const char* k) { return ext == k; });
}

// Folders within folders this deep are not gone into (a mount inside itself).
constexpr int kMostDepth = 32;

struct Entry {
    fs::path path;
    BLMakeSongWhy left;  // why it is left out; no message: a sound file to read
};

// Every entry of `folder` and its subfolders, in no order: the sound files to
// read and every other one with why it is left out. A link to a file counts
// as the file; a link to a folder is not followed, so nothing is met twice.
void walk(const fs::path& folder, int depth, std::vector<Entry>& found)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path p = it->path();
        const std::string name = p.filename().string();
        if (!name.empty() && name[0] == '.') {
            found.push_back({p, because(kBLMsgLoopHidden)});
            continue;
        }
        std::error_code e;
        const fs::file_status own = it->symlink_status(e);
        if (fs::is_symlink(own)) {
            const fs::file_status to = fs::status(p, e);
            if (e || !fs::exists(to))
                found.push_back({p, because(kBLMsgLoopLinkToNothing)});
            else if (fs::is_directory(to))
                found.push_back({p, because(kBLMsgLoopFolderLink)});
            else if (!fs::is_regular_file(to))
                found.push_back({p, because(kBLMsgLoopNoFile)});
            else
                found.push_back({p, isSoundFile(p) ? BLMakeSongWhy{} : because(kBLMsgLoopNotSound)});
        } else if (fs::is_directory(own)) {
            if (depth < kMostDepth)
                walk(p, depth + 1, found);
            else
                found.push_back({p, because(kBLMsgFolderUnreadable)});
        } else if (fs::is_regular_file(own)) {
            found.push_back({p, isSoundFile(p) ? BLMakeSongWhy{} : because(kBLMsgLoopNotSound)});
        } else {
            found.push_back({p, because(kBLMsgLoopNoFile)});  // a pipe, a device, a socket
        }
    }
    if (ec) found.push_back({folder, because(kBLMsgFolderUnreadable)});
}

// Letters and digits only, first letter capital: a group name the
// description's words and the file names both hold.
std::string groupWord(const std::string& text)
{
    std::string word;
    for (unsigned char c : text)
        if (std::isalnum(c) && word.size() < kMaxWord - 2) word += static_cast<char>(c);
    if (!word.empty()) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

// A label is one word of the description, in the program's 8-bit set:
// blanks become underscores.
std::string labelWord(const std::string& name)
{
    std::string word;
    for (unsigned char c : KEL_NameToLatin1(name)) {
        if (word.size() >= kMaxWord) break;
        if (c < 0x20 || c == ';') continue;
        word += c == ' ' ? '_' : static_cast<char>(c);
    }
    return word.empty() ? "Loop" : word;
}

// A sound file read whole at 44,100 Hz, one or two channels.
struct Sound {
    int channels = 0;
    std::vector<float> frames;  // interleaved
    int64_t count() const { return channels ? static_cast<int64_t>(frames.size()) / channels : 0; }
};

bool readSound(const std::string& path, Sound& sound, BLMakeSongWhy& problem)
{
    plat::SoundReader reader;
    if (!reader.open(path)) {
        problem = because(kBLMsgLoopUnreadable);
        return false;
    }
    const int in = reader.channels();
    const int rate = reader.rate();
    if (reader.frames() > int64_t{kMaxSeconds} * rate) {
        problem = because(kBLMsgLoopTooLong, {std::to_string(kMaxSeconds)});
        return false;
    }
    sound.channels = std::min(in, 2);
    std::vector<float> block(static_cast<size_t>(4096) * in);
    std::vector<float> read;
    for (;;) {
        const long n = reader.read(block.data(), 4096);
        if (n < 0) {
            problem = because(kBLMsgLoopCutShort);
            return false;
        }
        if (n == 0) break;
        for (long f = 0; f < n; ++f)
            for (int c = 0; c < sound.channels; ++c) read.push_back(block[static_cast<size_t>(f) * in + c]);
        if (static_cast<int64_t>(read.size()) / sound.channels > int64_t{kMaxSeconds} * rate) {
            problem = because(kBLMsgLoopTooLong, {std::to_string(kMaxSeconds)});
            return false;
        }
    }
    if (read.empty()) {
        problem = because(kBLMsgLoopSilent);
        return false;
    }
    if (rate == kRate) {
        sound.frames = std::move(read);
        return true;
    }
    plat::RateConverter converter;
    const double ratio = static_cast<double>(kRate) / rate;
    if (!converter.open(sound.channels, ratio, plat::RateConverter::Quality::best)) {
        problem = because(kBLMsgLoopRate);
        return false;
    }
    const long inFrames = static_cast<long>(read.size()) / sound.channels;
    sound.frames.resize(static_cast<size_t>(std::ceil(inFrames * ratio) + 64) * sound.channels);
    long taken = 0, made = 0;
    for (int rounds = 0; rounds < 1 << 16; ++rounds) {
        long used = 0;
        const long out =
            converter.process(read.data() + static_cast<size_t>(taken) * sound.channels, inFrames - taken,
                              &used, sound.frames.data() + static_cast<size_t>(made) * sound.channels,
                              static_cast<long>(sound.frames.size()) / sound.channels - made, true);
        if (out < 0) {
            problem = because(kBLMsgLoopRate);
            return false;
        }
        taken += used;
        made += out;
        if (out == 0 && taken >= inFrames) break;
    }
    // The length the rate gives, so a loop stays its length in time.
    sound.frames.resize(static_cast<size_t>(std::min<long>(made, std::lround(inFrames * ratio))) *
                        sound.channels);
    return true;
}

int16_t toShort(float v)
{
    return static_cast<int16_t>(std::clamp(std::lround(static_cast<double>(v) * 32768.0), -32768L, 32767L));
}

int framesPerBeat(int bpm)
{
    return bpm > 0 ? kRate * 60 / bpm : 0;
}

// The loop brought to the song's tempo as 16-bit frames of its channels,
// exactly `beats` beats long.
std::vector<int16_t> fitted(const Sound& sound, double ownBpm, int songBpm, int beats)
{
    const int channels = sound.channels;
    const int64_t target = int64_t{beats} * framesPerBeat(songBpm);
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(target) * channels);
    const auto inPerBeat = static_cast<int32_t>(std::lround(kRate * 60.0 / ownBpm));
    std::unique_ptr<PlatStretcher> s;
    if (inPerBeat != framesPerBeat(songBpm))
        s = PlatStretcher_Render(static_cast<double>(framesPerBeat(songBpm)) / inPerBeat, sound.count(),
                                 channels);
    if (!s) {
        for (float v : sound.frames) out.push_back(toShort(v));
    } else {
        // Channel by channel in and out, a block at a time, emptied as it goes.
        constexpr int kBlock = kPlatStretchFeed;
        std::vector<float> in(2 * kBlock), made(2 * kBlock);
        float* ins[2] = {in.data(), in.data() + kBlock};
        float* outs[2] = {made.data(), made.data() + kBlock};
        auto takeReady = [&] {
            for (int n; static_cast<int64_t>(out.size()) < target * channels &&
                        (n = s->take(outs, std::min(kBlock, std::max(0, s->ready())))) > 0;)
                for (int f = 0; f < n; ++f)
                    for (int c = 0; c < channels; ++c) out.push_back(toShort(outs[c][f]));
        };
        for (int64_t at = 0; at < sound.count(); at += kBlock) {
            const int n = static_cast<int>(std::min<int64_t>(kBlock, sound.count() - at));
            for (int f = 0; f < n; ++f)
                for (int c = 0; c < channels; ++c)
                    ins[c][f] = sound.frames[static_cast<size_t>((at + f) * channels + c)];
            s->feed(ins, n, at + n == sound.count());
            takeReady();
        }
        while (s->ready() > 0 && static_cast<int64_t>(out.size()) < target * channels) takeReady();
    }
    out.resize(static_cast<size_t>(target) * channels, 0);
    return out;
}

// The value most loops share (whole beats a minute), on a tie the one
// nearest 120; 0 when none.
int mostCommon(const std::vector<double>& tempos)
{
    std::map<long, int> counts;
    for (double t : tempos) ++counts[std::lround(t)];
    long best = 0;
    int bestCount = 0;
    for (const auto& [tempo, count] : counts)
        if (count > bestCount || (count == bestCount && std::labs(tempo - 120) < std::labs(best - 120))) {
            best = tempo;
            bestCount = count;
        }
    return static_cast<int>(best);
}

// A loop as the song plays it: 16-bit frames of its channels.
struct Fitted {
    std::vector<int16_t> frames;
    int channels = 1;
    int64_t count() const { return static_cast<int64_t>(frames.size()) / channels; }
};
constexpr size_t kShownGroups = 4;

// Two bars of the first loop of each group together, as the browser's audition.
bool writePreview(const std::string& path, const std::vector<Fitted>& loops, int bpm)
{
    if (loops.empty()) return false;
    const int64_t frames = int64_t{8} * framesPerBeat(bpm);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    const float gain = 1.0f / std::sqrt(static_cast<float>(loops.size()));
    for (int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c) {
            float sum = 0;
            for (const Fitted& l : loops)
                if (l.count() > 0)
                    sum += l.frames[static_cast<size_t>((f % l.count()) * l.channels +
                                                        std::min(c, l.channels - 1))];
            out[static_cast<size_t>(2 * f + c)] =
                static_cast<int16_t>(std::clamp(std::lround(sum * gain), -32768L, 32767L));
        }
    plat::SoundWriteSettings settings;
    plat::SoundWriter writer;
    return writer.open(path, settings) && writer.write(out.data(), static_cast<long>(frames)) &&
           writer.finish();
}

// The loops' waves in bands, in the skin's dark and amber, as the song's picture.
bool writePicture(const std::string& path, const std::vector<Fitted>& loops)
{
    if (loops.empty()) return false;
    plat::IndexedPicture p;
    p.width = 160;
    p.height = 120;
    p.palette = {24, 25, 28, 36, 38, 43, 214, 128, 38, 246, 190, 112};
    p.pixels.assign(static_cast<size_t>(p.width) * p.height, 0);
    const int band = p.height / static_cast<int>(loops.size());
    for (size_t b = 0; b < loops.size(); ++b) {
        const Fitted& l = loops[b];
        const int top = static_cast<int>(b) * band + 2, height = band - 4, middle = top + height / 2;
        for (int x = 0; x < p.width; ++x) {
            for (int y = top; y < top + height; ++y) p.pixels[static_cast<size_t>(y) * p.width + x] = 1;
            const int64_t from = l.count() * x / p.width,
                          to = std::max(from + 1, l.count() * (x + 1) / p.width);
            int peak = 0;
            for (int64_t f = from; f < to && f < l.count(); ++f)
                peak =
                    std::max(peak, std::abs(static_cast<int>(l.frames[static_cast<size_t>(f * l.channels)])));
            const int reach = peak * (height / 2) / 32768;
            for (int y = middle - reach; y <= middle + reach; ++y)
                p.pixels[static_cast<size_t>(y) * p.width + x] =
                    static_cast<uint8_t>(std::abs(y - middle) < reach / 2 ? 3 : 2);
        }
    }
    return plat::encodeGif(path, p);
}

std::string songFolderName(const std::string& name)
{
    std::string word;
    for (unsigned char c : name) {
        if (c < 0x20 || c == ':' || c == '/' || c == '\\') continue;
        if (word.size() >= kMaxTitle - 3) break;  // room for " 99"
        word += static_cast<char>(c);
    }
    while (!word.empty() && (word.back() == ' ' || word.back() == '.')) word.pop_back();
    while (!word.empty() && (word.front() == ' ' || word.front() == '.')) word.erase(0, 1);
    return word.empty() ? "My loops" : word;
}

// A text of one description line, in the program's 8-bit set: ";" would
// start a comment there, and a line ends at a line break.
std::string textLine(const std::string& text, size_t most)
{
    std::string line;
    for (unsigned char c : KEL_NameToLatin1(text)) {
        if (line.size() >= most) break;
        line += c < 0x20 ? ' ' : c == ';' ? ',' : static_cast<char>(c);
    }
    return line;
}

std::vector<std::string> description(const BLSongPlan& plan, const std::string& title,
                                     const std::vector<std::pair<std::string, const BLMadeLoop*>>& files)
{
    std::vector<std::string> lines;
    lines.push_back("SONGFORMAT: BLS 1.2");
    lines.push_back("SONGLIBRARY: My loops");
    lines.push_back("SONGTITLE: " + textLine(title, kMaxTitle));
    lines.push_back("SONGDESCRIPTION: " +
                    (plan.description.empty()
                         ? "Made from " + std::to_string(files.size()) + " loops of your own at " +
                               std::to_string(plan.bpm) + " BPM."
                         : textLine(plan.description, kMaxDescription)));
    lines.push_back("SONGBPM: " + std::to_string(plan.bpm));
    lines.push_back("SONGMIX: 1");
    lines.push_back("ARPNOTE: C E G");
    lines.push_back("LONGCOMMAND: CATEGORYLIST: " + std::to_string(plan.groups.size()));
    for (const std::string& g : plan.groups) lines.push_back(g);
    lines.push_back("ENDCOMMAND:");
    // Four random sets: every group, the rhythm, the rest, and the first half.
    static const char* const rhythm[] = {"Drums", "Kick", "Snare", "Hats", "Claps", "Perc", "Bass"};
    std::vector<std::string> all, beat, tune, half;
    for (size_t i = 0; i < plan.groups.size(); ++i) {
        const std::string& g = plan.groups[i];
        if (all.size() < 8) all.push_back(g);
        const bool isRhythm =
            std::any_of(std::begin(rhythm), std::end(rhythm), [&](const char* r) { return g == r; });
        if (isRhythm && beat.size() < 8) beat.push_back(g);
        if ((!isRhythm || g == "Bass") && tune.size() < 8) tune.push_back(g);
        if (i < (plan.groups.size() + 1) / 2 && half.size() < 8) half.push_back(g);
    }
    if (beat.empty()) beat = all;
    if (tune.empty()) tune = all;
    auto set = [](const std::string& name, const std::vector<std::string>& groups) {
        std::string line = name + " " + std::to_string(groups.size());
        for (const std::string& g : groups) line += " " + g;
        return line;
    };
    lines.push_back("LONGCOMMAND: RANDOMSET: 4");
    lines.push_back(set("All", all));
    lines.push_back(set("Beat", beat));
    lines.push_back(set("Tune", tune));
    lines.push_back(set("Sparse", half));
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGTRACKS: " + std::to_string(files.size()));
    for (const auto& [word, loop] : files)
        lines.push_back(word + " 100 63 " + std::to_string(kCycleBeats / (4 * loop->tempo.bars)) + " " +
                        labelWord(loop->name));
    lines.push_back("ENDCOMMAND:");
    return lines;
}

}  // namespace

int BLSongPlan::usable() const
{
    return static_cast<int>(
        std::count_if(loops.begin(), loops.end(), [](const BLMadeLoop& l) { return l.problem.empty(); }));
}

std::string BLMakeSong_GroupFromName(const std::string& name)
{
    // Words of loop names, English and French, and the group each points to.
    static const std::pair<const char*, const char*> words[] = {
        {"kick", "Kick"},      {"bd", "Kick"},        {"grosse", "Kick"},  {"snare", "Snare"},
        {"sd", "Snare"},       {"caisse", "Snare"},   {"clap", "Claps"},   {"hihat", "Hats"},
        {"hat", "Hats"},       {"hh", "Hats"},        {"cymbal", "Hats"},  {"ride", "Hats"},
        {"charley", "Hats"},   {"drum", "Drums"},     {"beat", "Drums"},   {"break", "Drums"},
        {"batterie", "Drums"}, {"perc", "Perc"},      {"shaker", "Perc"},  {"conga", "Perc"},
        {"bongo", "Perc"},     {"tom", "Perc"},       {"bass", "Bass"},    {"basse", "Bass"},
        {"sub", "Bass"},       {"pad", "Pad"},        {"nappe", "Pad"},    {"string", "Pad"},
        {"corde", "Pad"},      {"key", "Keys"},       {"piano", "Keys"},   {"rhodes", "Keys"},
        {"organ", "Keys"},     {"orgue", "Keys"},     {"clavier", "Keys"}, {"chord", "Keys"},
        {"accord", "Keys"},    {"synth", "Synth"},    {"lead", "Lead"},    {"arp", "Synth"},
        {"pluck", "Synth"},    {"vox", "Vox"},        {"vocal", "Vox"},    {"voice", "Vox"},
        {"voix", "Vox"},       {"chant", "Vox"},      {"fx", "FX"},        {"sfx", "FX"},
        {"effet", "FX"},       {"riser", "FX"},       {"noise", "FX"},     {"bruit", "FX"},
        {"guitar", "Guitar"},  {"guitare", "Guitar"}, {"gtr", "Guitar"},   {"brass", "Brass"},
        {"cuivre", "Brass"},   {"horn", "Brass"},     {"flute", "Flute"},  {"flûte", "Flute"},
    };
    // Words of letters, so that "kick_01" and "DeepBass" both speak.
    std::vector<std::string> parts;
    std::string part;
    const std::string s = name + " ";
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool letter = std::isalpha(c) || c >= 0x80;
        const bool wordStart = letter && !part.empty() && std::isupper(c) &&
                               std::islower(static_cast<unsigned char>(part.back()));
        if ((!letter || wordStart) && !part.empty()) {
            parts.push_back(lower(part));
            part.clear();
        }
        if (letter) part += static_cast<char>(c);
    }
    for (const std::string& p : parts)
        for (const auto& [word, group] : words) {
            const std::string w = word;
            // Whole words for the short ones; a word's start for the others ("kicks", "basses").
            const bool match = w.size() <= 3 ? p == w || p == w + "s" : p.compare(0, w.size(), w) == 0;
            if (match) return group;
        }
    return {};
}

namespace {

// Loops without a tempo in their names that share a length (within 3 %) are
// one tempo: the beats heard in each vote for a number of bars, and the most
// voted (on a tie, the reading nearest `reference`) is taken by all of them.
// For each loop the bars it may be read at (kCycleBars: as it comes alone);
// the loops of a group get tempo.found fromSound when the beats chose.
std::vector<uint32_t> readAlike(std::vector<BLMadeLoop>& loops, int reference)
{
    std::vector<uint32_t> allowed(loops.size(), kCycleBars);
    std::vector<size_t> unnamed;
    for (size_t i = 0; i < loops.size(); ++i)
        if (loops[i].problem.empty() && loops[i].frames > 0 && BLLoop_TempoFromName(loops[i].name) <= 0)
            unnamed.push_back(i);
    std::sort(unnamed.begin(), unnamed.end(),
              [&](size_t a, size_t b) { return loops[a].frames < loops[b].frames; });
    for (size_t from = 0; from < unnamed.size();) {
        size_t to = from + 1;
        while (to < unnamed.size() && loops[unnamed[to]].frames <= loops[unnamed[from]].frames * 1.03) ++to;
        const size_t count = to - from;
        if (count > 1) {
            std::map<int, int> votes;
            for (size_t k = from; k < to; ++k) {
                const BLMadeLoop& l = loops[unnamed[k]];
                const BLLoopTempo alone = BLLoop_Tempo(l.name, l.frames, reference, kCycleBars, l.heard);
                if (alone.found == BLLoopTempo::Found::fromSound) ++votes[alone.bars];
            }
            const BLMadeLoop& first = loops[unnamed[from]];
            int bars = BLLoop_Tempo(first.name, first.frames, reference, kCycleBars).bars;
            int most = 0;
            for (const auto& [b, n] : votes) {
                const double bpm = 4.0 * b * 60.0 * kRate / static_cast<double>(first.frames);
                const double chosen = 4.0 * bars * 60.0 * kRate / static_cast<double>(first.frames);
                if (n > most || (n == most && std::fabs(bpm - reference) < std::fabs(chosen - reference))) {
                    bars = b;
                    most = n;
                }
            }
            if (bars > 0) {
                for (size_t k = from; k < to; ++k) {
                    BLMadeLoop& l = loops[unnamed[k]];
                    allowed[unnamed[k]] = 1u << (bars - 1);
                    l.tempo.found = most > 0 ? BLLoopTempo::Found::fromSound : BLLoopTempo::Found::fromLength;
                    l.sameLength = static_cast<int>(count) - 1;
                }
            }
        }
        from = to;
    }
    return allowed;
}

}  // namespace

BLSongPlan BLMakeSong_Plan(const std::vector<std::string>& paths, const std::string& name, int tempo,
                           const std::function<bool(double)>& progress)
{
    BLSongPlan plan;
    plan.name = name;
    std::error_code ec;
    for (const std::string& given : paths) {
        const fs::path root(given);
        if (fs::is_directory(root, ec)) {
            if (plan.name.empty())
                plan.name = root.filename().empty() ? root.parent_path().filename().string()
                                                    : root.filename().string();
            std::vector<Entry> files;
            walk(root, 0, files);
            std::sort(files.begin(), files.end(),
                      [](const Entry& a, const Entry& b) { return a.path < b.path; });
            for (const Entry& entry : files) {
                const fs::path& p = entry.path;
                BLMadeLoop loop;
                loop.source = p.string();
                loop.name = p.stem().string();
                if (entry.left.message) {
                    leaveOut(loop, entry.left);
                    plan.loops.push_back(loop);
                    continue;
                }
                const fs::path inside = fs::relative(p, root, ec);
                if (!ec && inside.has_parent_path()) {
                    const std::string folder = inside.begin()->string();
                    const std::string named = BLMakeSong_GroupFromName(folder);
                    loop.group = named.empty() ? groupWord(folder) : named;
                    if (!loop.group.empty()) loop.groupFrom = BLMadeLoop::GroupFrom::folder;
                }
                plan.loops.push_back(loop);
            }
        } else {
            BLMadeLoop loop;
            loop.source = given;
            loop.name = root.stem().string();
            if (!fs::is_regular_file(root, ec)) leaveOut(loop, because(kBLMsgLoopNoFile));
            plan.loops.push_back(loop);
        }
    }
    if (plan.name.empty()) plan.name = "My loops";

    // Lengths, and the tempos the names give.
    std::vector<double> named;
    size_t looked = 0;
    for (BLMadeLoop& loop : plan.loops) {
        if (progress && !progress(static_cast<double>(looked++) / plan.loops.size())) {
            plan.why = because(kBLMsgPlanStopped);
            plan.problem = english(plan.why);
            return plan;
        }
        if (!loop.problem.empty()) continue;
        Sound sound;
        if (BLMakeSongWhy why; !readSound(loop.source, sound, why)) {
            leaveOut(loop, std::move(why));
            continue;
        }
        loop.frames = sound.count();
        if (const double t = BLLoop_TempoFromName(loop.name); t > 0) {
            named.push_back(t);
        } else {
            std::vector<float> mono(static_cast<size_t>(sound.count()));
            for (size_t f = 0; f < mono.size(); ++f)
                mono[f] = (sound.frames[f * sound.channels] +
                           sound.frames[f * sound.channels + sound.channels - 1]) /
                          2;
            loop.heard = plat::soundTempo(mono.data(), sound.count(), kRate);
        }
    }
    // The others by their length, near the tempo most names give (else 120).
    const int reference = named.empty() ? 120 : mostCommon(named);
    const std::vector<uint32_t> barsAllowed = readAlike(plan.loops, reference);
    std::vector<double> tempos;
    for (size_t i = 0; i < plan.loops.size(); ++i) {
        BLMadeLoop& loop = plan.loops[i];
        if (!loop.problem.empty()) continue;
        if (barsAllowed[i] != kCycleBars) {
            // Read with the others of its length: the bars they chose, its own length.
            const bool heard = loop.tempo.found == BLLoopTempo::Found::fromSound;
            loop.tempo = BLLoop_Tempo(loop.name, loop.frames, reference, barsAllowed[i]);
            if (heard && loop.tempo.found == BLLoopTempo::Found::fromLength)
                loop.tempo.found = BLLoopTempo::Found::fromSound;
        } else {
            loop.tempo = BLLoop_Tempo(loop.name, loop.frames, reference, kCycleBars, loop.heard);
        }
        if (loop.tempo.found == BLLoopTempo::Found::none) {
            leaveOut(loop, because(kBLMsgLoopNoTempo));
            continue;
        }
        const double beatsHeld = static_cast<double>(loop.frames) / kRate * loop.tempo.bpm / 60.0;
        if (beatsHeld < 1.0)
            leaveOut(loop, because(kBLMsgLoopUnderABeat));
        else if (beatsHeld > kCycleBeats + 0.5)
            leaveOut(loop, because(kBLMsgLoopOver32Beats));
        else
            tempos.push_back(loop.tempo.bpm);
    }
    // Names say a tempo on purpose; lengths only suggest one.
    plan.loopsBpm = named.empty() ? mostCommon(tempos) : reference;

    // Groups: the folder's, else the name's, else "Loops"; within the library's limits.
    std::map<std::string, int> counts;
    for (BLMadeLoop& loop : plan.loops) {
        if (!loop.problem.empty()) continue;
        if (loop.group.empty()) {
            loop.group = BLMakeSong_GroupFromName(loop.name);
            loop.groupFrom = loop.group.empty() ? BLMadeLoop::GroupFrom::none : BLMadeLoop::GroupFrom::name;
            if (loop.group.empty()) loop.group = "Loops";
        }
        const bool known = counts.count(loop.group) > 0;
        if (!known && static_cast<int>(plan.groups.size()) >= kMaxGroups) {
            leaveOut(loop, because(kBLMsgTooManyGroups, {std::to_string(kMaxGroups)}));
            continue;
        }
        if (known && counts[loop.group] >= kMaxLoopsInGroup) {
            leaveOut(loop, because(kBLMsgGroupFull, {loop.group, std::to_string(kMaxLoopsInGroup)}));
            continue;
        }
        if (!known) plan.groups.push_back(loop.group);
        ++counts[loop.group];
    }
    BLMakeSong_SetTempo(plan, tempo);
    return plan;
}

void BLMakeSong_SetTempo(BLSongPlan& plan, int tempo)
{
    plan.tempoGiven = tempo > 0;
    plan.bpm = tempo > 0 ? tempo : plan.loopsBpm;
    plan.why = {};
    if (plan.loops.empty())
        plan.why = because(kBLMsgNoSoundFiles);
    else if (plan.usable() == 0)
        plan.why = because(kBLMsgNoUsableLoop);
    else if (plan.bpm < 40 || plan.bpm > 300)
        plan.why = because(kBLMsgTempoOutside, {std::to_string(plan.bpm)});
    plan.problem = plan.why.message ? english(plan.why) : std::string();
}

bool BLMakeSong_SetGroup(BLSongPlan& plan, size_t index, const std::string& group, BLMakeSongWhy* why)
{
    if (index >= plan.loops.size() || !plan.loops[index].problem.empty()) return false;
    const std::string word = groupWord(group);
    BLMadeLoop& loop = plan.loops[index];
    if (word.empty() || word == loop.group) return !word.empty();
    int inGroup = 0;
    for (const BLMadeLoop& l : plan.loops) inGroup += l.problem.empty() && l.group == word;
    const bool known = std::find(plan.groups.begin(), plan.groups.end(), word) != plan.groups.end();
    // Leaving a group of one frees its place.
    int leftBehind = 0;
    for (const BLMadeLoop& l : plan.loops) leftBehind += l.problem.empty() && l.group == loop.group;
    BLMakeSongWhy refused;
    if (!known && static_cast<int>(plan.groups.size()) - (leftBehind == 1) >= kMaxGroups)
        refused = because(kBLMsgTooManyGroups, {std::to_string(kMaxGroups)});
    else if (inGroup >= kMaxLoopsInGroup)
        refused = because(kBLMsgGroupFull, {word, std::to_string(kMaxLoopsInGroup)});
    if (refused.message) {
        if (why) *why = std::move(refused);
        return false;
    }
    loop.group = word;
    // The groups in the order their first loops come.
    plan.groups.clear();
    for (const BLMadeLoop& l : plan.loops)
        if (l.problem.empty() &&
            std::find(plan.groups.begin(), plan.groups.end(), l.group) == plan.groups.end())
            plan.groups.push_back(l.group);
    return true;
}

bool BLMakeSong_SetBars(BLSongPlan& plan, size_t index, int bars)
{
    if (index >= plan.loops.size() || !plan.loops[index].problem.empty()) return false;
    if (bars < 1 || bars > 8 || ((kCycleBars >> (bars - 1)) & 1u) == 0) return false;
    BLMadeLoop& loop = plan.loops[index];
    if (loop.frames <= 0) return false;
    loop.tempo.bars = bars;
    loop.tempo.bpm = 4.0 * bars * 60.0 * kRate / static_cast<double>(loop.frames);
    loop.barsChosen = true;
    return true;
}

std::vector<std::string> BLMakeSong_GroupChoices(const BLSongPlan& plan)
{
    static const char* const usual[] = {"Drums", "Kick",   "Snare", "Hats",  "Claps", "Perc",
                                        "Bass",  "Pad",    "Keys",  "Synth", "Lead",  "Vox",
                                        "FX",    "Guitar", "Brass", "Loops"};
    std::vector<std::string> choices = plan.groups;
    for (const char* g : usual)
        if (std::find(choices.begin(), choices.end(), g) == choices.end()) choices.emplace_back(g);
    return choices;
}

std::string BLMakeSong_Says(const BLMakeSongWhy& why)
{
    if (!why.message) return {};
    if (!blIntl.message(why.message).isEmpty()) return blIntl.messageWithNames(why.message, why.names);
    return english(why);
}

std::string BLMakeSong_Describe(const BLMadeLoop& loop, int songBpm)
{
    if (!loop.problem.empty())
        return loop.source + ": left out: " + (loop.why.message ? BLMakeSong_Says(loop.why) : loop.problem);
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%.6g", loop.tempo.bpm);
    const bool alike = loop.sameLength > 0 && !loop.barsChosen;
    const char* how = loop.barsChosen                                      ? "as chosen"
                      : loop.tempo.found == BLLoopTempo::Found::fromName   ? "from its name"
                      : loop.tempo.found == BLLoopTempo::Found::fromLength ? "from its length"
                      : alike ? "from the beats of the loops of its length"
                              : "from its beats";
    const char* groupHow = loop.groupFrom == BLMadeLoop::GroupFrom::folder ? "its folder"
                           : loop.groupFrom == BLMadeLoop::GroupFrom::name ? "its name"
                                                                           : "no word of its name";
    const std::string played = std::lround(loop.tempo.bpm * 1000) == songBpm * 1000L
                                   ? "copied as it is"
                                   : "stretched to " + std::to_string(songBpm) + " BPM";
    return loop.source + ": " + loop.group + " (" + groupHow + "), " + std::to_string(loop.tempo.bars) +
           (loop.tempo.bars == 1 ? " bar" : " bars") + " at " + tempo + " BPM (" + how + "), " + played;
}

BLMakeSongResult BLMakeSong_Write(const BLSongPlan& plan, const std::string& songsFolder,
                                  const std::function<bool(double)>& progress)
{
    BLMakeSongResult result;
    if (!plan.problem.empty()) {
        result.problem = plan.problem;
        return result;
    }
    std::error_code ec;
    if (!fs::is_directory(songsFolder, ec)) {
        result.problem = "the library's song folder " + songsFolder + " is missing";
        return result;
    }
    // A name of its own: an older song of that name stays as it is.
    const std::string base = songFolderName(plan.name);
    std::string title;
    fs::path folder;
    for (int n = 1;; ++n) {
        title = n == 1 ? base : base + " " + std::to_string(n);
        folder = fs::path(songsFolder) / title;
        if (fs::exists(fs::symlink_status(folder, ec))) {
            if (n < 99) continue;
            result.problem =
                "every name from \"" + base + "\" to \"" + title + "\" is taken in " + songsFolder;
            return result;
        }
        if (fs::create_directory(folder, ec)) break;
        result.problem = "the song's folder cannot be made in " + songsFolder + ": " + ec.message();
        return result;
    }
    result.folder = folder.string();

    std::vector<std::string> written;
    auto undo = [&](const std::string& why) {
        plat::removeFolderMade(folder.string(), written);
        result.folder.clear();
        result.problem = why;
        return result;
    };
    // Each loop's file word, numbered within its group in the plan's order.
    struct Job {
        const BLMadeLoop* loop = nullptr;
        std::string word, path;
        bool done = false;
        std::string failed;
        Fitted kept;  // the first loop of each of the first groups, for the preview and picture
    };
    std::vector<Job> jobs;
    std::map<std::string, int> numbers;
    for (const BLMadeLoop& loop : plan.loops) {
        if (!loop.problem.empty()) continue;
        char number[16];
        std::snprintf(number, sizeof number, "%02d", ++numbers[loop.group]);
        Job job;
        job.loop = &loop;
        job.word = loop.group + number;
        job.path = (folder / (job.word + ".wav")).string();
        jobs.push_back(std::move(job));
    }
    std::set<std::string> shown;
    std::vector<bool> keep(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i)
        keep[i] = shown.size() < kShownGroups && shown.insert(jobs[i].loop->group).second;

    // Stretching is the long part: the loops are fitted on every core, each
    // into its own file; this thread keeps the bar going and hears a stop.
    std::atomic<size_t> next{0}, finished{0};
    std::atomic<bool> stop{false};
    auto work = [&] {
        for (size_t i; !stop && (i = next++) < jobs.size();) {
            Job& job = jobs[i];
            Sound sound;
            if (BLMakeSongWhy why; !readSound(job.loop->source, sound, why)) {
                job.failed = job.loop->source + " " + english(why) + " any more";
            } else {
                std::vector<int16_t> frames =
                    fitted(sound, job.loop->tempo.bpm, plan.bpm, 4 * job.loop->tempo.bars);
                plat::SoundWriteSettings settings;
                settings.channels = sound.channels;
                plat::SoundWriter writer;
                if (!writer.open(job.path, settings) ||
                    !writer.write(frames.data(), static_cast<long>(frames.size()) / sound.channels) ||
                    !writer.finish())
                    job.failed = "the loop " + job.path +
                                 " cannot be written: " + BL_WriteReasonText(plat::lastWriteError());
                else
                    job.done = true;
                if (keep[i]) job.kept = Fitted{std::move(frames), sound.channels};
            }
            if (!job.failed.empty()) stop = true;
            ++finished;
        }
    };
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::thread> workers;
    for (unsigned c = 1; c < cores && c < jobs.size(); ++c) workers.emplace_back(work);
    std::thread last(work);
    while (finished < jobs.size() && !stop) {
        if (progress && !progress(static_cast<double>(finished) / jobs.size())) {
            stop = true;
            result.stopped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    last.join();
    for (std::thread& t : workers) t.join();
    std::vector<std::pair<std::string, const BLMadeLoop*>> files;
    std::vector<Fitted> firsts;
    std::string failed;
    for (Job& job : jobs) {
        if (job.done) written.push_back(job.path);
        if (failed.empty()) failed = job.failed;
        files.emplace_back(job.word, job.loop);
        if (!job.kept.frames.empty()) firsts.push_back(std::move(job.kept));
    }
    if (result.stopped) return undo("stopped");
    if (!failed.empty()) return undo(failed);
    // Its face in the browser: a preview to hear and the loops' waves to see.
    const std::string preview = (folder / "preview.wav").string(),
                      picture = (folder / "library.gif").string();
    if (writePreview(preview, firsts, plan.bpm)) written.push_back(preview);
    if (writePicture(picture, firsts)) written.push_back(picture);
    // The description last: until it is there, the folder is no song.
    const std::string bls = (folder / "song.bls").string();
    std::string why = "the path cannot be used by the program";
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(bls.c_str(), kel) ||
        !BLBlsWriter_Write(kel, description(plan, title, files), &why))
        return undo("the song's description cannot be written: " + why);
    if (progress) progress(1.0);
    result.made = true;
    return result;
}
