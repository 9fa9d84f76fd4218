// WAV access: the header the program writes, byte for byte; what the reader
// accepts, refuses and cuts; seeking; and the file layer beneath.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/WinApi.h"
#include "core/kelFiles.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

std::string kel(const std::string& system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system.c_str(), out));
    return out;
}

void put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

void put32(std::string& s, uint32_t v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

uint32_t get32(const std::string& s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
           static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

std::string chunk(const char* id, const std::string& body)
{
    std::string c(id, 4);
    put32(c, static_cast<uint32_t>(body.size()));
    c += body;
    if (body.size() & 1) c += '\0';
    return c;
}

struct Format {
    uint16_t tag = 1;
    int16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t blockAlign = 4;
    uint16_t bits = 16;
};

std::string fmtBody(const Format& f)
{
    std::string b;
    put16(b, f.tag);
    put16(b, static_cast<uint16_t>(f.channels));
    put32(b, f.rate);
    put32(b, f.rate * f.blockAlign);
    put16(b, f.blockAlign);
    put16(b, f.bits);
    return b;
}

// Sample data where the 16-bit sample at index i holds i (wrapping).
std::string ramp(int samples)
{
    std::string d;
    for (int i = 0; i < samples; ++i) put16(d, static_cast<uint16_t>(i));
    return d;
}

std::string riff(const std::string& chunks)
{
    std::string w = "RIFF";
    put32(w, static_cast<uint32_t>(4 + chunks.size()));
    return w + "WAVE" + chunks;
}

std::string canonical(const Format& f, const std::string& data, uint32_t claimedLength)
{
    std::string dataChunk = "data";
    put32(dataChunk, claimedLength);
    return riff(chunk("fmt ", fmtBody(f)) + dataChunk + data);
}

std::string canonical(const Format& f, const std::string& data)
{
    return canonical(f, data, static_cast<uint32_t>(data.size()));
}

int16_t readSample(void* file)
{
    uint8_t b[2] = {0, 0};
    EXPECT_EQ(F_read(file, b, 2), 2);
    return static_cast<int16_t>(b[0] | b[1] << 8);
}

size_t openDescriptors()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class WaveFile : public ::testing::Test {
protected:
    TempDir dir{"wave"};
    std::string path = dir.file("loop.wav");

    void write(const std::string& bytes) { ASSERT_TRUE(testsupport::writeFile(path, bytes)); }

    // Opens the file; returns F_NOFILE when refused.
    void* open(int* channels, int* frames) { return OpenWave(kel(path).c_str(), channels, frames); }

    bool refused(const std::string& bytes)
    {
        write(bytes);
        int c = -7, n = -7;
        void* f = open(&c, &n);
        if (f != F_NOFILE) F_close(f);
        return f == F_NOFILE;
    }
};

TEST_F(WaveFile, CreateAndWriteLengthGiveTheExactHeader)
{
    void* f = CreateWave(kel(path).c_str(), 2, 0, 44100);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 44);
    const std::string samples = ramp(2000);  // 1000 stereo frames
    ASSERT_EQ(F_write(f, samples.data(), 4000), 4000);
    WriteWaveLen(f, 4000);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 44);
    ASSERT_NE(F_close(f), 0);

    const std::string file = testsupport::readFile(path);
    ASSERT_EQ(file.size(), 4044u);  // closing at offset 44 keeps every sample
    std::string want = "RIFF";
    put32(want, 4036);
    want += "WAVEfmt ";
    put32(want, 16);
    put16(want, 1);
    put16(want, 2);
    put32(want, 44100);
    put32(want, 176400);
    put16(want, 4);
    put16(want, 16);
    want += "data";
    put32(want, 4000);
    EXPECT_EQ(file.substr(0, 44), want);
    EXPECT_EQ(file.substr(44), samples);
}

TEST_F(WaveFile, CreateWithKnownLengthWritesItAtOnceAndMonoFields)
{
    void* f = CreateWave(kel(path).c_str(), 2, 500, 44100);
    ASSERT_NE(f, F_NOFILE);
    F_close(f);
    std::string file = testsupport::readFile(path);
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(get32(file, 4), 2036u);
    EXPECT_EQ(get32(file, 40), 2000u);

    f = CreateWave(kel(path).c_str(), 1, 10, 22050);
    ASSERT_NE(f, F_NOFILE);
    F_close(f);
    file = testsupport::readFile(path);
    EXPECT_EQ(file[22], 1);
    EXPECT_EQ(get32(file, 24), 22050u);
    EXPECT_EQ(get32(file, 28), 44100u);
    EXPECT_EQ(file[32], 2);
    EXPECT_EQ(get32(file, 40), 20u);
    EXPECT_EQ(get32(file, 4), 56u);
}

TEST_F(WaveFile, CreateFailsWhereNoFileCanBeMade)
{
    EXPECT_EQ(CreateWave(kel(dir.file("missing/x.wav")).c_str(), 2, 0, 44100), F_NOFILE);
}

// A file being made takes its name only once closed whole, and a long mix
// grows past 2 GiB (a sparse file here: the position is what counts).
TEST_F(WaveFile, MadeWholeUnderItsNameAndPastTwoGigabytes)
{
    testsupport::writeFile(path, "older");
    void* f = CreateWave(kel(path).c_str(), 2, 0, 44100);
    ASSERT_NE(f, F_NOFILE);
    const int64_t start = INT32_MAX - 1000;
    ASSERT_EQ(F_seek(f, static_cast<int>(start), F_SEEK_SET), start);
    const std::string samples = ramp(4000);
    EXPECT_EQ(F_write(f, samples.data(), 8000), 8000);
    EXPECT_EQ(F_write(f, samples.data(), 8000), 8000);
    const int64_t dataBytes = start + 16000 - 44;
    WriteWaveLen(f, dataBytes);
    EXPECT_EQ(testsupport::readFile(path), "older");
    ASSERT_NE(F_close(f), 0);
    EXPECT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(start + 16000));
    std::ifstream in(path, std::ios::binary);
    std::string head(44, '\0');
    in.read(head.data(), 44);
    EXPECT_EQ(get32(head, 40), static_cast<uint32_t>(dataBytes));
    EXPECT_EQ(get32(head, 4), static_cast<uint32_t>(dataBytes + 36));
    std::filesystem::remove(path);

    // Given up: nothing under the name, the older file kept.
    testsupport::writeFile(path, "older");
    f = CreateWave(kel(path).c_str(), 2, 0, 44100);
    ASSERT_NE(f, F_NOFILE);
    F_write(f, samples.data(), 8000);
    F_abandon(f);
    EXPECT_EQ(testsupport::readFile(path), "older");
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()),
        1);
}

TEST_F(WaveFile, CanonicalStereoAndMonoOpenAtTheFirstSample)
{
    write(canonical(Format{}, ramp(2 * 300)));
    int channels = 0, frames = 0;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(frames, 300);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 44);
    EXPECT_EQ(readSample(f), 0);
    EXPECT_EQ(readSample(f), 1);
    F_close(f);

    Format mono;
    mono.channels = 1;
    mono.blockAlign = 2;
    write(canonical(mono, ramp(2 * 300)));
    f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(frames, 600);
    F_close(f);
}

TEST_F(WaveFile, SeekCountsFromTheStartOfTheSamples)
{
    write(canonical(Format{}, ramp(2 * 300)));
    int channels = 0, frames = 0;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(SeekWave(f, 400), 0);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 444);
    EXPECT_EQ(readSample(f), 200);  // frame 100, left
    EXPECT_EQ(SeekWave(f, 0), 0);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 44);
    SeekWave(f, -8);  // never into the header
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 44);
    F_close(f);

    // In a file with chunks before the samples, offsets count from the samples too.
    write(riff(chunk("fmt ", fmtBody(Format{})) + chunk("LIST", "INFOabc") + chunk("data", ramp(600))));
    f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    SeekWave(f, 400);
    EXPECT_EQ(readSample(f), 200);
    F_close(f);
}

TEST_F(WaveFile, ChunksBeforeAndAfterTheSamplesAreWalked)
{
    // fact and an odd-sized LIST (with its pad byte) before the data, a
    // format chunk with the extension size, and a chunk after the samples.
    std::string fmt18 = fmtBody(Format{});
    put16(fmt18, 0);
    std::string fact;
    put32(fact, 100);
    const std::string data = ramp(2 * 100);
    write(riff(chunk("fmt ", fmt18) + chunk("fact", fact) + chunk("LIST", "INFOINAMab!") +
               chunk("data", data) + chunk("LIST", std::string(300, 'x'))));
    int channels = 0, frames = 0;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(frames, 100);  // the trailing chunk is no sample data
    const int32_t start = static_cast<int32_t>(testsupport::readFile(path).find("data") + 8);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), start);
    std::string got(400, '\0');
    EXPECT_EQ(F_read(f, got.data(), 400), 400);
    EXPECT_EQ(got, data);
    F_close(f);
}

TEST_F(WaveFile, ExtensibleSixteenBitPcmPlays)
{
    std::string ext = fmtBody(Format{});
    put16(ext, 22);  // extension size
    put16(ext, 16);  // valid bits
    put32(ext, 3);   // front left and right
    ext += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    ext[0] = '\xFE';
    ext[1] = '\xFF';
    write(riff(chunk("fmt ", ext) + chunk("data", ramp(8))));
    int channels = 0, frames = 0;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(frames, 4);
    F_close(f);

    ext[24] = 3;  // the float sub-format
    EXPECT_TRUE(refused(riff(chunk("fmt ", ext) + chunk("data", ramp(8)))));
}

TEST_F(WaveFile, FormatsOtherThanSixteenBitPcmAreRefused)
{
    const std::string data = ramp(64);
    auto with = [&](auto change) {
        Format f;
        change(f);
        return canonical(f, data);
    };
    EXPECT_FALSE(refused(with([](Format&) {})));
    EXPECT_TRUE(refused(with([](Format& f) { f.tag = 3, f.bits = 32, f.blockAlign = 8; })));  // float
    EXPECT_TRUE(refused(with([](Format& f) { f.bits = 8, f.blockAlign = 2; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.bits = 24, f.blockAlign = 6; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.tag = 2; })));  // ADPCM
    EXPECT_TRUE(refused(with([](Format& f) { f.channels = 0, f.blockAlign = 0; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.channels = 0; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.channels = -2; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.channels = 6, f.blockAlign = 12; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.blockAlign = 2; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.rate = 0; })));
    EXPECT_TRUE(refused(with([](Format& f) { f.rate = 4000000; })));
}

TEST_F(WaveFile, DamagedLayoutsAreRefused)
{
    const std::string good = canonical(Format{}, ramp(64));
    std::string s = good;
    s[0] = 'X';
    EXPECT_TRUE(refused(s));  // no RIFF
    s = good;
    s[10] = 'X';
    EXPECT_TRUE(refused(s));  // no WAVE
    EXPECT_TRUE(
        refused(riff(chunk("data", ramp(64)) + chunk("fmt ", fmtBody(Format{})))));  // samples before format
    EXPECT_TRUE(refused(riff(chunk("fmt ", fmtBody(Format{})) + chunk("LIST", "abcd"))));  // no samples
    EXPECT_TRUE(refused(riff(chunk("fmt ", fmtBody(Format{}).substr(0, 14)) + chunk("data", ramp(4)))));
    // A chunk whose size runs past the end hides the samples.
    std::string big = "LIST";
    put32(big, 0x7FFFFFF0);
    EXPECT_TRUE(refused(riff(chunk("fmt ", fmtBody(Format{})) + big + chunk("data", ramp(4)))));
    EXPECT_TRUE(refused(""));
}

TEST_F(WaveFile, EveryCutHeaderIsRefusedAndTheFullOneHasNoFrames)
{
    const std::string header = canonical(Format{}, "", 4000);
    ASSERT_EQ(header.size(), 44u);
    for (size_t n = 0; n < 44; ++n) EXPECT_TRUE(refused(header.substr(0, n))) << n << " bytes";
    write(header);
    int channels = 0, frames = -1;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(frames, 0);
    F_close(f);
}

TEST_F(WaveFile, AHeaderClaimingMoreThanTheFileHoldsIsCut)
{
    for (uint32_t claim : {4000u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
        write(canonical(Format{}, ramp(51), claim));  // 102 bytes: 25 whole frames
        int channels = 0, frames = 0;
        void* f = open(&channels, &frames);
        ASSERT_NE(f, F_NOFILE) << claim;
        EXPECT_EQ(frames, 25) << claim;
        F_close(f);
    }
    // A claim smaller than the file is kept.
    write(canonical(Format{}, ramp(64), 40));
    int channels = 0, frames = 0;
    void* f = open(&channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(frames, 10);
    F_close(f);
}

TEST_F(WaveFile, FailedOpensLeaveNoFileOpen)
{
    const size_t before = openDescriptors();
    int channels = 0, frames = 0;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(OpenWave(kel(dir.file("none.wav")).c_str(), &channels, &frames), F_NOFILE);
        EXPECT_TRUE(refused(canonical(Format{.tag = 0}, ramp(8))));
        EXPECT_EQ(OpenWave(kel(dir.path()).c_str(), &channels, &frames), F_NOFILE);  // a folder
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(WaveFile, ThreadsReadTheirOwnHandlesIndependently)
{
    write(canonical(Format{}, ramp(2 * 4096)));
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 100; ++round) {
                int channels = 0, frames = 0;
                void* f = OpenWave(kel(path).c_str(), &channels, &frames);
                if (f == F_NOFILE || frames <= 0) {
                    ++wrong[t];
                    continue;
                }
                const int frame = (t * 977 + round * 131) % frames;
                SeekWave(f, frame * 4);
                uint8_t b[2];
                if (F_read(f, b, 2) != 2 || (b[0] | b[1] << 8) != frame * 2) ++wrong[t];
                F_close(f);
            }
        });
    }
    for (auto& r : readers) r.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(FileLayer, ReadSeekAndWriteReportWhatHappened)
{
    TempDir dir("flayer");
    const std::string path = kel(dir.file("f.bin"));
    void* f = F_creat(path.c_str());
    ASSERT_NE(f, F_NOFILE);
    EXPECT_EQ(F_write(f, "abcdefgh", 8), 8);
    EXPECT_EQ(F_seek(f, 2, F_SEEK_SET), 2);
    EXPECT_EQ(F_write(f, "XY", 2), 2);
    EXPECT_EQ(F_seek(f, 0, F_SEEK_CUR), 4);
    EXPECT_EQ(F_seek(f, -3, F_SEEK_END), 5);
    EXPECT_EQ(F_seek(f, -9, F_SEEK_END), -1);
    EXPECT_EQ(F_seek(f, 0, 7), -1);
    ASSERT_NE(F_close(f), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("f.bin")), "abXYefgh");

    f = F_open(path.c_str());
    ASSERT_NE(f, F_NOFILE);
    char buf[16] = {};
    EXPECT_EQ(F_seek(f, 3, F_SEEK_SET), 3);
    EXPECT_EQ(F_seek(f, 2, F_SEEK_CUR), 5);
    EXPECT_EQ(F_read(f, buf, 16), 3);
    EXPECT_EQ(std::string(buf, 3), "fgh");
    EXPECT_EQ(F_read(f, buf, 16), 0);
    EXPECT_EQ(F_write(f, "z", 1), 0);  // opened for reading only
    EXPECT_NE(F_close(f), 0);

    EXPECT_EQ(F_open(kel(dir.file("none")).c_str()), F_NOFILE);
    EXPECT_EQ(F_read(F_NOFILE, buf, 4), 0);
    EXPECT_EQ(F_seek(F_NOFILE, 0, F_SEEK_SET), -1);
    EXPECT_EQ(F_close(F_NOFILE), 0);
    EXPECT_EQ(SeekWave(F_NOFILE, 4), 0);
}

TEST(FileLayer, MemoryBlocksAreZeroFilled)
{
    auto* block = static_cast<uint8_t*>(M_alloc(65536));
    ASSERT_NE(block, nullptr);
    int nonZero = 0;
    for (int i = 0; i < 65536; ++i) nonZero += block[i] != 0;
    EXPECT_EQ(nonZero, 0);
    EXPECT_NE(M_free(block), 0);
    EXPECT_EQ(M_alloc(-1), nullptr);
    EXPECT_EQ(M_free(nullptr), 0);
}

}  // namespace
