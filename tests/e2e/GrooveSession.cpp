#include "e2e/GrooveSession.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/kelFiles.h"
#include "library/BLDocument.h"

namespace fs = std::filesystem;

namespace groovee2e {

namespace {

int16_t le16(const std::string& b, size_t at)
{
    return static_cast<int16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel, sizeof kel) ? std::string(kel) : std::string();
}

}  // namespace

Loop readLoop(const std::string& path)
{
    Loop loop;
    const std::string bytes = testsupport::readFile(path);
    if (bytes.size() < 44) return loop;
    loop.channels = le16(bytes, 22);
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) loop.samples.push_back(le16(bytes, i));
    return loop;
}

std::vector<int16_t> readCapture(const std::string& path)
{
    const std::string bytes = testsupport::readFile(path);
    std::vector<int16_t> s(bytes.size() / 4 * 2);
    if (!s.empty()) std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

std::vector<float> playedAt(const Loop& loop, double ratio, int frames)
{
    std::vector<float> out;
    const int n = loop.frames();
    for (int j = 0; j < frames; ++j) {
        const double p = j * ratio;
        const int i = static_cast<int>(p);
        if (i + 1 >= n) break;
        const double f = p - i;
        const float a = loop.samples[static_cast<size_t>(i * loop.channels)];
        const float b = loop.samples[static_cast<size_t>((i + 1) * loop.channels)];
        out.push_back(static_cast<float>(a + (b - a) * f));
    }
    return out;
}

double bestMatch(const std::vector<int16_t>& capture, const std::vector<float>& pattern, int from, int to,
                 int& at)
{
    double best = -1;
    at = -1;
    const int frames = static_cast<int>(capture.size() / 2);
    const int n = static_cast<int>(pattern.size());
    double pp = 0;
    for (float v : pattern) pp += double(v) * v;
    for (int o = std::max(from, 0); o <= to && o + n <= frames; ++o) {
        double cp = 0, cc = 0;
        for (int k = 0; k < n; ++k) {
            const double c = capture[static_cast<size_t>(2 * (o + k))];
            cp += c * pattern[static_cast<size_t>(k)];
            cc += c * c;
        }
        if (cc <= 0 || pp <= 0) continue;
        const double r = cp / std::sqrt(cc * pp);
        if (r > best) {
            best = r;
            at = o;
        }
    }
    return best;
}

int firstSound(const std::vector<int16_t>& capture)
{
    for (size_t i = 0; i + 1 < capture.size(); i += 2)
        if (capture[i] != 0 || capture[i + 1] != 0) return static_cast<int>(i / 2);
    return -1;
}

void GrooveSession::SetUp()
{
    // The library of this program folder is a folder of its own, with the
    // demo songs linked into it, so the test may add songs.
    library = dir.file("Library");
    std::error_code ec;
    fs::remove(library, ec);
    fs::create_directories(library + "/Song", ec);
    const fs::path built = fs::path(testsupport::programDir()) / "Library";
    for (const char* sub : {"Images", "Synth", "Bls"})
        if (fs::exists(built / sub)) fs::create_directory_symlink(built / sub, fs::path(library) / sub, ec);
    for (const auto& song : fs::directory_iterator(built / "Song", ec))
        fs::create_directory_symlink(song.path(), fs::path(library) / "Song" / song.path().filename(), ec);
    capture = dir.file("capture.raw");
}

void GrooveSession::makeSong(const std::string& name, const std::string& source)
{
    const fs::path built = fs::path(testsupport::programDir()) / "Library";
    const fs::path from = built / "Song" / source;
    const fs::path to = fs::path(library) / "Song" / name;
    std::error_code ec;
    fs::create_directories(to, ec);
    for (const auto& file : fs::directory_iterator(from, ec))
        if (file.path().extension() == ".wav")
            fs::create_symlink(file.path(), to / file.path().filename(), ec);
    fs::path description = from / (source + ".bls");
    if (!fs::exists(description)) description = built / "Bls" / (source + ".bls");
    const auto decoded =
        testsupport::run({testsupport::toolsDir() + "/blstool", "decode", description.string()});
    ASSERT_EQ(decoded.exitCode, 0) << decoded.out;
    // The description of the source, with a single random set.
    std::string plain;
    bool inSets = false;
    size_t start = 0;
    while (start < decoded.out.size()) {
        size_t end = decoded.out.find('\n', start);
        if (end == std::string::npos) end = decoded.out.size();
        const std::string line = decoded.out.substr(start, end - start);
        start = end + 1;
        if (line.rfind("LONGCOMMAND: RANDOMSET:", 0) == 0) {
            plain += "LONGCOMMAND: RANDOMSET: 1\nOne 1 Drums\n";
            inSets = true;
            continue;
        }
        if (inSets && line.rfind("ENDCOMMAND:", 0) != 0) continue;
        inSets = false;
        plain += line + "\n";
    }
    testsupport::writeFile(dir.file("plain.txt"), plain);
    const auto r = testsupport::run({testsupport::toolsDir() + "/blstool", "encode", dir.file("plain.txt"),
                                     (to / (name + ".bls")).string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
}

std::string GrooveSession::writeDocument(const std::string& file, const std::string& song,
                                         const BLGroove& groove, float bpm, int16_t selected,
                                         const BLSequence* stored)
{
    BLIceimage ice;
    ice.valid = 1;
    if (stored) ice.sequence = *stored;
    std::snprintf(ice.songName, sizeof ice.songName, "%s", song.c_str());
    ice.groove = groove;
    ice.selectedTrack = selected;
    ice.bpm = bpm;
    const std::string path = dir.file(file);
    EXPECT_TRUE(BLDocument_Write(kelOf(path).c_str(), ice, nullptr));
    return path;
}

bool GrooveSession::readDocument(const std::string& path, BLIceimage& ice)
{
    return BLDocument_Read(kelOf(path).c_str(), &ice, nullptr).status == BLDocumentRead::read;
}

std::string GrooveSession::runScript(const std::string& script, const std::string& document)
{
    testsupport::writeFile(dir.file("script.txt"), script);
    std::vector<std::string> argv = {dir.program(), "--script", dir.file("script.txt"), "--log",
                                     dir.file("log.txt")};
    if (!document.empty()) argv.push_back(document);
    const auto r =
        testsupport::run(argv, dir.path(), 120, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return testsupport::readFile(dir.file("log.txt"));
}

void GrooveSession::keepScreen(const std::string& shot, const std::string& name)
{
    const fs::path folder = fs::path(testsupport::programDir()) / "tests" / "screens";
    std::error_code ec;
    fs::create_directories(folder, ec);
    fs::copy_file(shot, folder / (name + ".png"), fs::copy_options::overwrite_existing, ec);
}

std::string GrooveSession::at(int stageX, int stageY)
{
    return std::to_string(kOriginX + stageX) + " " + std::to_string(kOriginY + stageY);
}

// Every loop of the song made a click on each of its beats, so that where
// the program's beats are heard can be read off its sound.
void clickEveryBeat(const std::string& songFolder, double bpm)
{
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(songFolder, ec)) {
        if (file.path().extension() != ".wav") continue;
        SF_INFO info{};
        SNDFILE* in = sf_open(file.path().c_str(), SFM_READ, &info);
        ASSERT_NE(in, nullptr) << file.path();
        sf_close(in);
        const sf_count_t frames = info.frames;
        const long beats = std::lround(static_cast<double>(frames) / (info.samplerate * 60.0 / bpm));
        std::vector<float> sound(static_cast<size_t>(frames * info.channels), 0.0f);
        for (long b = 0; b < beats; ++b) {
            const auto at = static_cast<size_t>(std::lround(b * static_cast<double>(frames) / beats));
            for (int c = 0; c < info.channels; ++c) sound[at * info.channels + c] = 0.8f;
        }
        fs::remove(file.path(), ec);  // a link into the build's library
        SNDFILE* out = sf_open(file.path().c_str(), SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << file.path();
        sf_writef_float(out, sound.data(), frames);
        sf_close(out);
    }
}

}  // namespace groovee2e
