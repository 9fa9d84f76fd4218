// Lines from another instance, as hostile as they come: a line is either one
// whole message, formed back to the same text, or refused; the link applies
// only values in range to what it mirrors, and never a part of a line.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "library/BLGroove.h"
#include "net/BLNet.h"
#include "net/BLNetMessage.h"

namespace {

class CheckingHost : public BLNetHost {
public:
    BLGroove g;
    bool isPlaying = false;
    float bpm = 120;
    int applied = 0;
    std::string songName() override { return "Song"; }
    bool loadSong(const char* name) override
    {
        fuzzfiles::check(BLNet_songNameValid(name, std::strlen(name)));
        ++applied;
        return name[0] != 'x';
    }
    const BLGroove& groove() override { return g; }
    bool playing() override { return isPlaying; }
    void play() override { isPlaying = true; }
    void stop() override { isPlaying = false; }
    float tempo() override { return bpm; }
    void setTempo(float b) override
    {
        fuzzfiles::check(b >= 1.0f && b < 1000.0f);
        bpm = b;
    }
    int beat() override { return isPlaying ? 0 : -1; }
    double position() override { return isPlaying ? 1.5 : -1; }
    bool setSample(int16_t t, int16_t group, int16_t slot) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && group >= -1 && slot >= -1);
        ++applied;
        return group < 4;
    }
    void setVolume(int16_t t, int16_t v) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && v >= 0 && v <= 127);
        ++applied;
    }
    void setPan(int16_t t, int16_t p) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && p >= -63 && p <= 63);
        ++applied;
    }
    bool ask(const char*) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    BLNetMessage m;
    if (BLNet_parseMessage(text, size, m)) {
        char back[256];
        const size_t n = BLNet_formatMessage(m, back, sizeof back);
        fuzzfiles::check(n == size && std::memcmp(back, text, size) == 0);
    }
    // Every line of the input, as the transport cuts them, heard by a link.
    static CheckingHost host;
    static BLNet link;
    link.setHost(&host);
    const long before = link.dropped();
    size_t from = 0, lines = 0, refused = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n') continue;
        BLNetMessage probe;
        const bool whole = BLNet_parseMessage(text + from, i - from, probe);
        if (!whole) ++refused;
        fuzzfiles::check(link.hear(text + from, i - from, 0) == whole);
        ++lines;
        from = i + 1;
    }
    fuzzfiles::check(link.dropped() >= before + static_cast<long>(refused));
    (void)lines;
    return 0;
}
