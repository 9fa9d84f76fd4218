// Layouts from hostile resource files, and the layout text form.
//
// The first byte picks the payload size (the two layout sizes or the input's
// own), the next eight place the layout; the rest is the payload. Beside it
// the file holds two small casts that items may name (ids 1 and 2). Every
// item is placed, switched through its images and looked up; then the
// layout is printed as text and read back, which must give the same bytes.
// Finally the input as a whole is read as a layout source.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "core/kelLayoutsText.h"
#include "core/kelRes.h"
#include "fuzz/FuzzFiles.h"

namespace {

void putCast(KelResFile& file, int32_t id, int16_t w, int16_t h)
{
    const int16_t strides[kKelCastVariants] = {0, kelCastStride(w, 2), 0, kelCastStride(w, 1)};
    uint8_t header[kKelCastHeaderSize];
    kelCastWriteHeader(w, h, strides, header);
    const std::vector<uint8_t> pixels(static_cast<size_t>(strides[1]) * h, 0x55);
    const std::vector<uint8_t> mask(static_cast<size_t>(strides[3]) * h, 0x80);
    file.SaveData(reinterpret_cast<const char*>(header), kKelCastHeaderSize, kelCastHeaderType, id);
    file.SaveData(reinterpret_cast<const char*>(pixels.data()), static_cast<long>(pixels.size()),
                  kelCastTypes[1], id);
    file.SaveData(reinterpret_cast<const char*>(mask.data()), static_cast<long>(mask.size()), kelCastTypes[3],
                  id);
}

bool resolve(const std::string& name, int32_t& id)
{
    if (name == "one.0" || name == "one")
        id = 1;
    else if (name == "two")
        id = 2;
    else
        return false;
    return true;
}

std::string nameOf(int32_t id)
{
    return id == 1 ? "one" : id == 2 ? "two" : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kelDebugFlag = 0;
    if (size < 9) return 0;
    const int32_t sizes[] = {kKelLayoutSizeLarge, kKelLayoutSizeSmall, static_cast<int32_t>(size - 9)};
    const int32_t length = sizes[data[0] % 3];
    std::vector<uint8_t> payload(data + 9, data + size);
    payload.resize(static_cast<size_t>(length), 0);
    const kelRect bounds(
        static_cast<int16_t>(kelGetBE16(data + 1)), static_cast<int16_t>(kelGetBE16(data + 3)),
        static_cast<int16_t>(kelGetBE16(data + 5)), static_cast<int16_t>(kelGetBE16(data + 7)));

    const std::string kel = fuzzfiles::kelPath("layout.xrs");
    {
        KelResFile file;
        file.SetWorkName(kel.c_str());
        KEL_FileDelete(kel.c_str());
        if (!file.Create()) return 0;
        putCast(file, 1, 5, 3);
        putCast(file, 2, 2, 7);
        file.SaveData(reinterpret_cast<const char*>(payload.data()), length, kelLayoutType, 9);
        if (!file.Close()) return 0;
    }
    KelCasts casts;
    if (!casts.OpenResFile(kel.c_str())) return 0;
    casts.ParseResources();

    KelLayout layout;
    layout.Set(&casts, 9);
    layout.Load();
    layout.bounds = bounds;
    layout.RecalcAll();
    for (int16_t i = -1; i <= layout.itemsCount; ++i) {
        for (int16_t j = -1; j <= kKelLayoutImages; ++j) {
            layout.ItemUseIndex(i, j);
            layout.RecalcItem(i);
            layout.GetItemImage(i, j);
            layout.GetItemMask(i, j);
        }
        layout.itemAuxVal(i, static_cast<int16_t>(i % 21));
    }
    fuzzfiles::check(layout.itemsCount >= 0 && layout.itemsCount <= kKelLayoutMaxItems);

    // Printed and read back, a stored layout keeps every field the text shows.
    if (layout.itemsCount > 0 || length == kKelLayoutSizeSmall || length == kKelLayoutSizeLarge) {
        kelLayoutData stored;
        if (kelLayoutRead(payload.data(), length, stored)) {
            const std::string text = kelLayoutToText(9, stored, nameOf);
            kelLayoutSource again;
            std::string error;
            const bool countFits =
                stored.header.itemCount >= 0 && stored.header.itemCount <= kKelLayoutMaxItems;
            if (countFits) {
                fuzzfiles::check(kelLayoutFromText(text, resolve, again, error));
                for (int16_t i = 0; i < stored.header.itemCount; ++i) {
                    const kelLayoutItem& a = stored.items[i];
                    const kelLayoutItem& b = again.data.items[i];
                    fuzzfiles::check(a.state == b.state && a.anchors == b.anchors &&
                                     a.selfAnchor == b.selfAnchor);
                    fuzzfiles::check(a.offset.h == b.offset.h && a.frameSize.v == b.frameSize.v);
                    fuzzfiles::check(a.sizeCastID == b.sizeCastID);
                    for (int k = 0; k < kKelLayoutImages; ++k)
                        fuzzfiles::check(a.imageCastIDs[k] == b.imageCastIDs[k]);
                    for (int k = 0; k < kKelLayoutAuxValues; ++k) fuzzfiles::check(a.aux[k] == b.aux[k]);
                }
            }
        }
    }

    kelLayoutSource source;
    std::string error;
    kelLayoutFromText(std::string(reinterpret_cast<const char*>(data), size), resolve, source, error);
    return 0;
}
