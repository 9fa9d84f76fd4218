// Sound files for the media tests, written and read byte by byte so that the
// code under test is not its own judge.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace soundtest {

inline void put(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// A canonical PCM WAV: 44-byte header, then the samples (16 or 24 bits).
inline std::string wavBytes(int rate, int channels, int bits, const std::vector<int32_t>& samples)
{
    const int bytesPerSample = bits / 8;
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * bytesPerSample);
    std::string s = "RIFF";
    put(s, 36 + dataSize, 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, static_cast<uint32_t>(channels), 2);
    put(s, static_cast<uint32_t>(rate), 4);
    put(s, static_cast<uint32_t>(rate * channels * bytesPerSample), 4);
    put(s, static_cast<uint32_t>(channels * bytesPerSample), 2);
    put(s, static_cast<uint32_t>(bits), 2);
    s += "data";
    put(s, dataSize, 4);
    for (int32_t v : samples) put(s, static_cast<uint32_t>(v), bytesPerSample);
    return s;
}

inline bool writeWav(const std::string& path, int rate, int channels, const std::vector<int32_t>& samples,
                     int bits = 16)
{
    return testsupport::writeFile(path, wavBytes(rate, channels, bits, samples));
}

struct Wav {
    bool ok = false;
    int format = 0, channels = 0, rate = 0, bits = 0;
    std::vector<int32_t> samples;  // sign-extended
};

inline uint32_t get(const std::string& s, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

// Walks the chunks of a RIFF WAVE file for "fmt " and "data".
inline Wav readWav(const std::string& path)
{
    Wav w;
    const std::string s = testsupport::readFile(path);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return w;
    for (size_t at = 12; at + 8 <= s.size();) {
        const std::string id = s.substr(at, 4);
        const size_t size = get(s, at + 4, 4);
        const size_t body = at + 8;
        if (body + size > s.size()) break;
        if (id == "fmt " && size >= 16) {
            w.format = static_cast<int>(get(s, body, 2));
            w.channels = static_cast<int>(get(s, body + 2, 2));
            w.rate = static_cast<int>(get(s, body + 4, 4));
            w.bits = static_cast<int>(get(s, body + 14, 2));
        } else if (id == "data" && w.bits > 0) {
            const int bytes = w.bits / 8;
            for (size_t i = 0; i + bytes <= size; i += bytes) {
                uint32_t v = get(s, body + i, bytes);
                if (bytes == 1) {
                    w.samples.push_back(static_cast<int32_t>(v) - 128);
                    continue;
                }
                const int shift = 32 - 8 * bytes;
                w.samples.push_back(static_cast<int32_t>(v << shift) >> shift);
            }
            w.ok = true;
        }
        at = body + size + (size & 1);
    }
    return w;
}

// Interleaved sine, same on every channel, at `amplitude` of full scale (16 bits).
inline std::vector<int32_t> sine(int frames, int channels, double cyclesPerFrame, double amplitude = 0.5)
{
    std::vector<int32_t> v;
    for (int f = 0; f < frames; ++f) {
        const auto s = static_cast<int32_t>(
            std::lround(std::sin(6.283185307179586 * cyclesPerFrame * f) * amplitude * 32767));
        for (int c = 0; c < channels; ++c) v.push_back(s);
    }
    return v;
}

// Deterministic noise over the whole 16-bit range, both extremes included.
inline std::vector<int32_t> noise16(int count, uint32_t seed = 12345)
{
    std::vector<int32_t> v;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v.push_back(static_cast<int16_t>(seed >> 16));
    }
    if (count >= 2) {
        v[0] = -32768;
        v[1] = 32767;
    }
    return v;
}

}  // namespace soundtest
