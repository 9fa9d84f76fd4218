#include "core/kelLayouts.h"

#include <cstring>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelRes.h"

const int32_t kelLayoutType = static_cast<int32_t>(kelFourCC("LAYA"));

namespace {

int16_t get16(const uint8_t* p)
{
    return static_cast<int16_t>(kelGetBE16(p));
}
int32_t get32(const uint8_t* p)
{
    return static_cast<int32_t>(kelGetBE32(p));
}
void put16(uint8_t* p, int16_t v)
{
    kelPutBE16(p, static_cast<uint16_t>(v));
}
void put32(uint8_t* p, int32_t v)
{
    kelPutBE32(p, static_cast<uint32_t>(v));
}

void readItem(const uint8_t* p, kelLayoutItem& item)
{
    item.state = get16(p);
    item.offset = kelPoint{get16(p + 2), get16(p + 4)};
    item.reserved6 = get16(p + 6);
    item.sizeCastID = get32(p + 8);
    for (int j = 0; j < kKelLayoutImages; ++j) item.imageCastIDs[j] = get32(p + 12 + 4 * j);
    item.reserved52 = get16(p + 52);
    item.selfAnchor = get16(p + 54);
    item.anchors = get16(p + 56);
    std::memcpy(item.reserved58, p + 58, sizeof item.reserved58);
    for (int k = 0; k < kKelLayoutAuxValues; ++k) item.aux[k] = get16(p + 68 + 2 * k);
    item.frameSize = kelPoint{get16(p + 108), get16(p + 110)};
    std::memcpy(item.reserved112, p + 112, sizeof item.reserved112);
}

void writeItem(const kelLayoutItem& item, uint8_t* p)
{
    put16(p, item.state);
    put16(p + 2, item.offset.h);
    put16(p + 4, item.offset.v);
    put16(p + 6, item.reserved6);
    put32(p + 8, item.sizeCastID);
    for (int j = 0; j < kKelLayoutImages; ++j) put32(p + 12 + 4 * j, item.imageCastIDs[j]);
    put16(p + 52, item.reserved52);
    put16(p + 54, item.selfAnchor);
    put16(p + 56, item.anchors);
    std::memcpy(p + 58, item.reserved58, sizeof item.reserved58);
    for (int k = 0; k < kKelLayoutAuxValues; ++k) put16(p + 68 + 2 * k, item.aux[k]);
    put16(p + 108, item.frameSize.h);
    put16(p + 110, item.frameSize.v);
    std::memcpy(p + 112, item.reserved112, sizeof item.reserved112);
}

int16_t slotsOf(int32_t length)
{
    if (length == kKelLayoutSizeLarge) return 100;
    if (length == kKelLayoutSizeSmall) return 50;
    return 0;
}

}  // namespace

bool kelLayoutRead(const uint8_t* payload, int32_t length, kelLayoutData& data)
{
    const int16_t slots = slotsOf(length);
    if (!payload || slots == 0) return false;
    data = kelLayoutData{};
    std::memcpy(data.header.reserved0, payload, sizeof data.header.reserved0);
    data.header.design =
        kelRect(get16(payload + 6), get16(payload + 8), get16(payload + 10), get16(payload + 12));
    std::memcpy(data.header.reserved14, payload + 14, sizeof data.header.reserved14);
    data.header.itemCount = get16(payload + 46);
    for (int i = 0; i < slots; ++i)
        readItem(payload + kKelLayoutHeaderSize + kKelLayoutItemSize * i, data.items[i]);
    return true;
}

std::vector<uint8_t> kelLayoutWrite(const kelLayoutData& data)
{
    const int16_t slots = data.header.itemCount <= 50 ? 50 : 100;
    std::vector<uint8_t> out(static_cast<size_t>(kKelLayoutHeaderSize + kKelLayoutItemSize * slots), 0);
    uint8_t* p = out.data();
    std::memcpy(p, data.header.reserved0, sizeof data.header.reserved0);
    put16(p + 6, data.header.design.left);
    put16(p + 8, data.header.design.top);
    put16(p + 10, data.header.design.right);
    put16(p + 12, data.header.design.bottom);
    std::memcpy(p + 14, data.header.reserved14, sizeof data.header.reserved14);
    put16(p + 46, data.header.itemCount);
    for (int i = 0; i < slots; ++i)
        writeItem(data.items[i], p + kKelLayoutHeaderSize + kKelLayoutItemSize * i);
    return out;
}

bool KelLayout::PlatformConvert(const uint8_t* payload, int32_t length)
{
    const int16_t slots = slotsOf(length);
    if (!kelLayoutRead(payload, length, data)) return false;
    // A damaged count never reaches past the items the payload holds.
    itemsCount =
        data.header.itemCount < 0 ? 0 : (data.header.itemCount > slots ? slots : data.header.itemCount);
    return true;
}

void KelLayout::Set(KelCasts* castTable, long layoutID)
{
    if (!castTable) return;
    casts = castTable;
    resFile = castTable->resFile;
    itemsCount = 0;
    if (!resFile) return;
    const long length = resFile->GetDataLen(kelLayoutType, layoutID);
    if (length != kKelLayoutSizeLarge && length != kKelLayoutSizeSmall) return;
    std::vector<uint8_t> payload(static_cast<size_t>(length));
    if (!resFile->LoadData(reinterpret_cast<char*>(payload.data()), length, kelLayoutType, layoutID)) return;
    PlatformConvert(payload.data(), static_cast<int32_t>(length));
    for (kelLayoutWork& w : work) w = kelLayoutWork{};
}

void KelLayout::Load()
{
    for (int16_t i = 0; i < itemsCount; ++i) {
        kelLayoutWork& w = work[i];
        for (int16_t j = 0; j < kKelLayoutImages; ++j) {
            w.castIndex[j] = casts ? casts->MPixIDtoIndex(data.items[i].imageCastIDs[j]) : -1;
            if (KelOneCast* cast = casts ? casts->castAt(w.castIndex[j]) : nullptr) cast->LoadAvailable();
        }
        w.usedIndex = 0;
        w.currentCast = w.castIndex[0];
    }
    bounds = data.header.design;
    RecalcAll();
}

void KelLayout::RecalcAll()
{
    for (int16_t i = 0; i < itemsCount; ++i) RecalcItem(i);
}

void KelLayout::RecalcItem(int16_t i)
{
    if (!hasItem(i)) return;
    const kelLayoutItem& item = data.items[i];
    kelLayoutWork& w = work[i];
    const int16_t a = item.layoutAnchor();
    const int16_t b = item.stretchAnchor();
    const int16_t s = item.selfAnchor;
    const kelPoint o = item.offset;

    kelPoint frameSize = item.frameSize;
    const KelOneCast* sizeCast = casts ? casts->castAt(casts->MPixIDtoIndex(item.sizeCastID)) : nullptr;
    if (sizeCast && item.frameSize.h == 0) frameSize = sizeCast->size;

    const kelPoint at = bounds.snap(a);
    w.frame.set(frameSize);
    w.frame.offset(at.h, at.v);
    w.frame.selfSnap(s);
    w.frame.offset(o.h, o.v);

    if (b != 0) {
        const kelRect& design = data.header.design;
        const kelRect room(bounds.left, bounds.top, bounds.right - design.right,
                           bounds.bottom - design.bottom);
        const kelPoint grow = room.snap(b);
        w.frame.right = static_cast<int16_t>(w.frame.right + grow.h);
        w.frame.bottom = static_cast<int16_t>(w.frame.bottom + grow.v);
    }

    const KelOneCast* current = casts ? casts->castAt(w.currentCast) : nullptr;
    if (current) {
        w.imageRect.set(current->size);
        const kelPoint self = w.imageRect.snap(s);
        w.pos =
            kelPoint{static_cast<int16_t>(o.h + at.h - self.h), static_cast<int16_t>(o.v + at.v - self.v)};
        w.imageRect.offset(w.pos.h, w.pos.v);
    } else {
        w.imageRect = w.frame;
        w.pos = kelPoint{w.frame.left, w.frame.top};
    }
}

void KelLayout::ItemUseIndex(int16_t item, int16_t index)
{
    if (!hasItem(item) || index < 0 || index >= kKelLayoutImages) return;
    work[item].usedIndex = index;
    work[item].currentCast = work[item].castIndex[index];
}

void KelLayout::DrawItem(int16_t item)
{
    if (!hasItem(item) || !casts) return;
    if (KelOneCast* cast = casts->castAt(work[item].currentCast))
        cast->Draw(work[item].pos.h, work[item].pos.v);
}

kelOffmap* KelLayout::GetItemImage(int16_t item, int16_t index) const
{
    if (!hasItem(item) || index < 0 || index >= kKelLayoutImages || !casts) return nullptr;
    KelOneCast* cast = casts->castAt(work[item].castIndex[index]);
    return cast && cast->imageLoaded ? &cast->image : nullptr;
}

kelOffmap* KelLayout::GetItemMask(int16_t item, int16_t index) const
{
    if (!hasItem(item) || index < 0 || index >= kKelLayoutImages || !casts) return nullptr;
    KelOneCast* cast = casts->castAt(work[item].castIndex[index]);
    return cast && cast->maskLoaded ? &cast->mask : nullptr;
}

int16_t KelLayout::itemAuxVal(int16_t item, int16_t k) const
{
    if (!hasItem(item) || k < 0 || k >= kKelLayoutAuxValues) return 0;
    return data.items[item].aux[k];
}
