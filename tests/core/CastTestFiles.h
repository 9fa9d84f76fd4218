// Helpers of the cast and layout tests: resource files written payload by
// payload, and the cast header and pixel rows as they are stored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/FileTestUtil.h"
#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelRes.h"

namespace casttest {

using Bytes = std::vector<uint8_t>;

// Writes a fresh resource file at a system path.
class ResWriter {
public:
    explicit ResWriter(const std::string& systemPath) : kel(filetest::kelOf(systemPath))
    {
        file.SetWorkName(kel.c_str());
        created = file.Create();
    }
    void put(const char (&type)[5], int32_t id, const Bytes& bytes)
    {
        saved = file.SaveData(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()),
                              static_cast<long>(kelFourCC(type)), id) &&
                saved;
    }
    bool close() { return file.Close() && created && saved; }

    std::string kel;
    KelResFile file;
    bool created = false;
    bool saved = true;
};

inline Bytes header(int16_t width, int16_t height, int16_t stride8, int16_t stride16, int16_t stride32,
                    int16_t strideMask)
{
    Bytes out(kKelCastHeaderSize);
    const int16_t strides[kKelCastVariants] = {stride8, stride16, stride32, strideMask};
    kelCastWriteHeader(width, height, strides, out.data());
    return out;
}

// 16-bit values as stored: big-endian.
inline Bytes be16(std::initializer_list<uint16_t> values)
{
    Bytes out;
    for (const uint16_t v : values) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

}  // namespace casttest
