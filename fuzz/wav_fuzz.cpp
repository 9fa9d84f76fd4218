// Feeds arbitrary files to the WAV reader: header, chunk walk, seeking and
// sample reads; then writes the input as samples and reads them back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "audio/AudioFormat.h"
#include "audio/WinApi.h"
#include "core/kelFiles.h"

namespace {

using fuzzfiles::check;

void readBack(const uint8_t* data, size_t size)
{
    fuzzfiles::write("in.wav", data, size);
    const std::string path = fuzzfiles::kelPath("in.wav");
    int channels = -1, frames = -1;
    void* file = OpenWave(path.c_str(), &channels, &frames);
    if (file == F_NOFILE) return;
    check(channels == 1 || channels == 2, "channel count other than 1 or 2");
    check(frames >= 0, "negative frame count");
    const int32_t start = F_dataStart(file);
    check(start >= 12 && int64_t{start} + int64_t{frames} * channels * 2 <= static_cast<int64_t>(size),
          "frames past the end of the file");

    // Every frame the header promises can be read.
    std::vector<uint8_t> block(4096);
    int64_t want = int64_t{frames} * channels * 2, got = 0;
    while (got < want) {
        const int n = F_read(file, block.data(), static_cast<int>(std::min<int64_t>(want - got, 4096)));
        if (n <= 0) break;
        got += n;
    }
    check(got == want, "fewer sample bytes than the header promised");

    const int offsets[] = {0,
                           2 * channels,
                           frames * channels,
                           frames * channels * 2,
                           -4,
                           0x7FFFFFF0,
                           size > 0 ? data[size - 1] * 4 : 0};
    for (int offset : offsets) {
        SeekWave(file, offset);
        const int n = F_read(file, block.data(), 64);
        check(n >= 0 && n <= 64, "read size out of range");
        if (offset == 0 && want >= 4) check(n >= 4, "no sample at the start of the data");
    }
    check(F_close(file) != 0, "close failed");
}

void writeAndRead(const uint8_t* data, size_t size)
{
    const std::string path = fuzzfiles::kelPath("out.wav");
    const int channels = size > 0 && (data[0] & 1) ? 1 : 2;
    const int bytes = static_cast<int>(size) / (channels * 2) * (channels * 2);
    std::remove(fuzzfiles::systemPath("out.wav").c_str());
    void* file = CreateWave(path.c_str(), channels, 0, 44100);
    check(file != F_NOFILE, "cannot create");
    check(F_write(file, data, bytes) == bytes || bytes == 0, "short write");
    WriteWaveLen(file, bytes);
    check(F_close(file) != 0, "close failed");

    int c = 0, frames = 0;
    file = OpenWave(path.c_str(), &c, &frames);
    check(file != F_NOFILE && c == channels && frames == bytes / (channels * 2),
          "written file reads back wrong");
    std::vector<uint8_t> back(static_cast<size_t>(bytes) + 1);
    check(F_read(file, back.data(), bytes + 1) == bytes, "written samples read back short");
    check(std::memcmp(back.data(), data, static_cast<size_t>(bytes)) == 0, "samples changed");
    F_close(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readBack(data, size);
    writeAndRead(data, size);
    return 0;
}
