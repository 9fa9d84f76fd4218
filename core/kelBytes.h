// Byte order: the in-place swaps of the framework and the field readers and
// writers every file format is serialised with.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

constexpr bool kKelHostIsBigEndian = std::endian::native == std::endian::big;

// Four-character codes: the first character in the most significant byte,
// so kelFourCC("TEXT") is 0x54455854.
constexpr uint32_t kelFourCC(const char (&code)[5])
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

constexpr uint16_t kelByteSwap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

constexpr uint32_t kelByteSwap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// The framework's swaps between big-endian file order and host order, in
// place; on a big-endian host they do nothing.
inline void KEL_PlatformSwap_Short(void* p)
{
    if constexpr (!kKelHostIsBigEndian) {
        auto* b = static_cast<uint8_t*>(p);
        const uint8_t t = b[0];
        b[0] = b[1];
        b[1] = t;
    }
}

inline void KEL_PlatformSwap_Long(void* p)
{
    if constexpr (!kKelHostIsBigEndian) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        v = kelByteSwap32(v);
        std::memcpy(p, &v, 4);
    }
}

inline void KEL_PlatformSwap_UnsignedLong(void* p)
{
    KEL_PlatformSwap_Long(p);
}

inline void KEL_PlatformSwap_Point(void* p)
{
    auto* b = static_cast<uint8_t*>(p);
    KEL_PlatformSwap_Short(b);
    KEL_PlatformSwap_Short(b + 2);
}

inline void KEL_PlatformSwap_Rect(void* p)
{
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 4; ++i) KEL_PlatformSwap_Short(b + 2 * i);
}

// Field readers and writers over byte buffers.
inline uint16_t kelGetBE16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t kelGetBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint16_t kelGetLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t kelGetLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void kelPutBE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void kelPutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void kelPutLE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void kelPutLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
