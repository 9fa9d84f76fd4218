// Loop files with known sample values, and an output device that needs no
// sound card, for the engine's tests (tests/audio and tests/tools).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "audio/MMSysAudio.h"
#include "core/kelFiles.h"

namespace enginetest {

inline std::string kelPath(const std::string& system)
{
    char out[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(system.c_str(), out)) return {};
    return out;
}

// The sample values of test loop `id` at file frame f: the left channel
// walks through 30000 values, the right names the loop (and the stretch of
// 30000 frames), so a frame tells which loop and which place it came from.
inline int16_t loopLeft(int id, int f)
{
    return static_cast<int16_t>(f % 30000 - 15000 + id);
}
inline int16_t loopRight(int id, int f)
{
    return static_cast<int16_t>(id * 1000 + f / 30000 % 1000);
}

// Test loop `id` repeating every `period` frames from timeline frame 0: the
// frame heard at timeline frame p.
inline auto testLoopAt(int id, int period)
{
    return [id, period](int64_t p, int16_t& left, int16_t& right) {
        left = loopLeft(id, static_cast<int>(p % period));
        right = loopRight(id, static_cast<int>(p % period));
    };
}

inline void put16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

inline void put32(std::string& s, uint32_t v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

struct WaveHeader {
    uint16_t tag = 1;
    int16_t channels = 2;
    uint16_t bits = 16;
    int64_t dataBytes = -1;  // -1: what the samples take
    uint32_t rate = 44100;
};

// A canonical 44-byte WAV file around the given samples.
inline std::string waveBytes(const std::vector<int16_t>& samples, const WaveHeader& h = {})
{
    const uint32_t data =
        h.dataBytes >= 0 ? static_cast<uint32_t>(h.dataBytes) : static_cast<uint32_t>(samples.size() * 2);
    const uint16_t align = static_cast<uint16_t>(h.channels * h.bits / 8);
    std::string s = "RIFF";
    put32(s, 36 + data);
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, h.tag);
    put16(s, static_cast<uint16_t>(h.channels));
    put32(s, h.rate);
    put32(s, h.rate * align);
    put16(s, align);
    put16(s, h.bits);
    s += "data";
    put32(s, data);
    for (int16_t v : samples) put16(s, static_cast<uint16_t>(v));
    return s;
}

inline bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Test loop `id` of `frames` stereo frames (values above).
inline bool writeLoop(const std::string& path, int id, int frames)
{
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        s[2 * f] = loopLeft(id, f);
        s[2 * f + 1] = loopRight(id, f);
    }
    return writeBytes(path, waveBytes(s));
}

// A stereo loop holding one value on each side.
inline bool writeConstantLoop(const std::string& path, int frames, int16_t left, int16_t right)
{
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        s[2 * f] = left;
        s[2 * f + 1] = right;
    }
    return writeBytes(path, waveBytes(s));
}

// An output that plays nothing aloud. It keeps what it was given; it plays
// (drops from its queue) only what the test says, or, in real time, at
// 44100 frames a second from the moment it is resumed.
class TestOutput : public MMSysOutput {
public:
    explicit TestOutput(bool realTime = false, size_t keepBytes = 0) : realTime_(realTime)
    {
        stream.reserve(keepBytes);
        sizes.reserve(1 << 16);
    }

    bool open(int rate, int channels, int bufferFrames) override
    {
        std::lock_guard<std::mutex> hold(m_);
        ++opens;
        if (refuseOpen) return false;
        isOpen = true;
        openedRate = rate;
        openedChannels = channels;
        openedBufferFrames = bufferFrames;
        return true;
    }
    void close() override
    {
        std::lock_guard<std::mutex> hold(m_);
        ++closes;
        isOpen = false;
        running_ = false;
    }
    bool queue(const void* bytes, uint32_t count) override
    {
        std::lock_guard<std::mutex> hold(m_);
        if (!isOpen) return false;
        advance();
        const auto* b = static_cast<const char*>(bytes);
        if (stream.size() + count <= stream.capacity()) stream.insert(stream.end(), b, b + count);
        if (sizes.size() < sizes.capacity()) sizes.push_back(count);
        queuedTotal += count;
        return true;
    }
    uint32_t queuedBytes() override
    {
        std::lock_guard<std::mutex> hold(m_);
        advance();
        return static_cast<uint32_t>(queuedTotal - played_);
    }
    void resume() override
    {
        std::lock_guard<std::mutex> hold(m_);
        running_ = true;
        since_ = std::chrono::steady_clock::now();
        playedAtResume_ = played_;
    }
    void clear() override
    {
        std::lock_guard<std::mutex> hold(m_);
        played_ = queuedTotal;
        playedAtResume_ = played_;
        since_ = std::chrono::steady_clock::now();
    }

    // Plays `bytes` more of the queue (not in real time).
    void play(uint64_t bytes)
    {
        std::lock_guard<std::mutex> hold(m_);
        played_ = std::min(queuedTotal, played_ + bytes);
    }
    bool alive() override { return !gone; }
    uint64_t underrunBytes()
    {
        std::lock_guard<std::mutex> hold(m_);
        return underrun_;
    }

    // What the device handed over, in order; guarded by nothing: read it
    // once the device is stopped.
    std::vector<char> stream;
    std::vector<uint32_t> sizes;
    uint64_t queuedTotal = 0;
    int opens = 0;
    int closes = 0;
    bool isOpen = false;
    bool refuseOpen = false;
    std::atomic<bool> gone{false};  // unplugged
    int openedRate = 0;
    int openedChannels = 0;
    int openedBufferFrames = 0;

private:
    // Real time: what the clock says has been played since resume; a queue
    // that ran dry meanwhile counts as underrun and the clock starts anew.
    void advance()
    {
        if (!realTime_ || !running_) return;
        const auto now = std::chrono::steady_clock::now();
        const double secs = std::chrono::duration<double>(now - since_).count();
        const uint64_t due = playedAtResume_ + static_cast<uint64_t>(secs * 44100.0) * 4;
        if (due <= queuedTotal) {
            played_ = due;
            return;
        }
        underrun_ += due - queuedTotal;
        played_ = queuedTotal;
        playedAtResume_ = played_;
        since_ = now;
    }

    std::mutex m_;
    bool realTime_;
    bool running_ = false;
    std::chrono::steady_clock::time_point since_{};
    uint64_t played_ = 0;
    uint64_t playedAtResume_ = 0;
    uint64_t underrun_ = 0;
};

}  // namespace enginetest
