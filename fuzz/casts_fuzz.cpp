// Image casts from hostile resource files: the input is cut into the
// payloads of one cast (header, the four pixel variants, the palette), each
// behind a 2-byte length, stored in a resource file and loaded the way the
// program loads casts. Nothing may read or write outside a buffer, and a
// loaded picture must fit the header it came with.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelRes.h"
#include "fuzz/FuzzFiles.h"

namespace {

const char* const kTypes[] = {"MPIX", "PX08", "PX16", "PX32", "PXMK", "CTP8"};

bool writeCast(const uint8_t* data, size_t size, const std::string& kel)
{
    KelResFile file;
    file.SetWorkName(kel.c_str());
    KEL_FileDelete(kel.c_str());
    if (!file.Create()) return false;
    size_t at = 0;
    for (const char* type : kTypes) {
        if (at + 2 > size) break;
        const size_t length = std::min<size_t>(kelGetBE16(data + at), size - at - 2);
        at += 2;
        // An odd first byte leaves this payload out.
        if (length > 0 && (data[at] & 1) == 0)
            file.SaveData(reinterpret_cast<const char*>(data + at), static_cast<long>(length),
                          static_cast<long>(kelGetBE32(reinterpret_cast<const uint8_t*>(type))), 1);
        at += length;
    }
    return file.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kelDebugFlag = 0;
    const std::string kel = fuzzfiles::kelPath("cast.xrs");
    if (!writeCast(data, size, kel)) return 0;

    KelCasts casts;
    if (!casts.OpenResFile(kel.c_str())) return 0;
    casts.ParseResources();
    KelOneCast* cast = casts.castAt(casts.MPixIDtoIndex(1));
    if (!cast) return 0;
    for (int16_t d = -1; d <= 4; ++d) cast->LoadDepth(d);
    cast->Unload();
    cast->LoadAvailable();
    if (cast->imageLoaded) {
        fuzzfiles::check(cast->image.size.h == cast->size.h && cast->image.size.v == cast->size.v);
        fuzzfiles::check(cast->image.dataSize <= kKelCastMaxBytes);
        // Every pixel can be read.
        for (int16_t y = 0; y < cast->size.v; y += 7)
            for (int16_t x = 0; x < cast->size.h; x += 5) cast->image.getPixel(x, y);
    }
    if (cast->maskLoaded) fuzzfiles::check(cast->mask.depthIndex == 3);
    return 0;
}
