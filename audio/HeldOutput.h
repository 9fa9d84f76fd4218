// An output that keeps what it is given and plays nothing: the one of an
// offline run of the live chain (renders, the engine bounce). Once `pulled`
// is set it is pulled as a sound card is: its owner pulls each stretch itself.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/MMSysAudio.h"

class HeldOutput : public MMSysOutput {
public:
    bool open(int, int, int) override { return true; }
    void close() override {}
    bool queue(const void* bytes, uint32_t count) override
    {
        const auto* s = static_cast<const int16_t*>(bytes);
        held.insert(held.end(), s, s + count / 2);
        return true;
    }
    uint32_t queuedBytes() override { return static_cast<uint32_t>(held.size() * 2); }
    void resume() override {}
    void clear() override {}
    bool pulls() const override { return pulled; }
    bool openPulled(int, int, int, MMSysAudio* o) override
    {
        owner = o;
        return true;
    }

    std::vector<int16_t> held;
    bool pulled = false;
    MMSysAudio* owner = nullptr;
};
