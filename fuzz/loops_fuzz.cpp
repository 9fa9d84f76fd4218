// Feeds arbitrary files to a song's loop check: what the engine cannot play
// as it is is converted into the loop cache. Whatever the input, the file
// handed to the engine is one the engine reads whole, in one of its forms.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "audio/AudioFormat.h"
#include "audio/WinApi.h"
#include "library/BLLoopCache.h"

namespace {

using fuzzfiles::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The cache lies beside the program's library: the fuzz folder stands in.
    static const bool entered = chdir(fuzzfiles::folder().c_str()) == 0;
    check(entered, "cannot enter the fuzz folder");
    fuzzfiles::write("loop.wav", data, size);
    const std::string loop = ":loop.wav";
    const std::string played = BL_LoopForEngine(loop);
    if (!played.empty()) {
        int channels = 0, frames = -1;
        void* file = OpenWave(played.c_str(), &channels, &frames);
        check(file != F_NOFILE, "the engine cannot open what it is handed");
        check(channels == 1 || channels == 2, "a channel count the engine does not play");
        check(played == loop || channels == 2, "a conversion that is not stereo");
        std::vector<uint8_t> block(8192);
        int64_t want = int64_t{frames} * channels * 2, got = 0;
        while (got < want) {
            const int n = F_read(file, block.data(), static_cast<int>(std::min<int64_t>(want - got, 8192)));
            if (n <= 0) break;
            got += n;
        }
        check(got == want, "fewer frames than the file promised");
        F_close(file);
        // Done once: asked again, the same file is handed over.
        check(BL_LoopForEngine(loop) == played, "converted again");
    }
    std::error_code ec;
    std::filesystem::remove_all(fuzzfiles::systemPath("Library"), ec);
    return 0;
}
