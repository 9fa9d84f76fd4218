// The resource file reader on any bytes: opening read-only must refuse or
// give entries whose payloads all read back; opening for writing, replacing
// and adding payloads must keep every other payload and read back what was
// written.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "FuzzFiles.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"

namespace {

using Key = std::pair<int32_t, int32_t>;  // type, id

// Every payload of an open container, by the first entry of each key.
std::map<Key, std::string> readAll(KelResFile& res)
{
    std::map<Key, std::string> all;
    for (int16_t i = 0; i < res.GetElemsCount(); ++i) {
        kelResElem e;
        fuzzfiles::check(res.GetElem(i, &e));
        const Key key{e.type, e.id};
        if (all.count(key)) continue;
        const long length = res.GetDataLen(e.type, e.id);
        fuzzfiles::check(length == e.length && length >= 0);
        char* data = nullptr;
        fuzzfiles::check(res.GetData(&data, e.type, e.id));
        all[key] = std::string(data, static_cast<size_t>(length));
        void* p = data;
        KEL_DisposePtr(&p);
        if (length > 0) {
            std::string shorter(static_cast<size_t>(length - 1), '\0');
            fuzzfiles::check(!res.LoadData(shorter.data(), length - 1, e.type, e.id));
        }
    }
    int total = 0;
    for (const auto& [key, payload] : all) {
        const int16_t n = res.GetItemsCount(key.first);
        fuzzfiles::check(n > 0);
        fuzzfiles::check(res.GetItemIndexID(key.first, n) == -1);
        total += res.GetItemIndexID(key.first, 0) != -1;
    }
    fuzzfiles::check(total <= res.GetElemsCount());
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzfiles::write("in.xrs", data, size);
    const std::string kel = fuzzfiles::kelPath("in.xrs");

    KelResFile res;
    res.SetWorkName(kel.c_str());
    res.openReadOnly = 1;
    if (!res.Open()) return 0;
    std::map<Key, std::string> before = readAll(res);
    const int16_t count = res.GetElemsCount();
    fuzzfiles::check(res.Close());
    fuzzfiles::check(fuzzfiles::sizeOf("in.xrs") == static_cast<long>(size));

    // Replace the first payload by a longer and a shorter one, add a new one.
    res.openReadOnly = 0;
    fuzzfiles::check(res.Open());
    const size_t cut = size < 64 ? size : 64;
    const std::string fresh(reinterpret_cast<const char*>(data), cut);
    const Key added{static_cast<int32_t>(kelFourCC("fuzz")), static_cast<int32_t>(size)};
    if (!before.count(added)) {
        const bool saved =
            res.SaveData(fresh.data(), static_cast<long>(fresh.size()), added.first, added.second);
        fuzzfiles::check(saved == (count < res.GetCapacity()));
        if (saved) before[added] = fresh;
    }
    if (count > 0) {
        kelResElem first;
        fuzzfiles::check(res.GetElem(0, &first));
        const Key key{first.type, first.id};
        const std::string longer = before[key] + "+longer";
        fuzzfiles::check(
            res.SaveData(longer.data(), static_cast<long>(longer.size()), key.first, key.second));
        const std::string shorter = longer.substr(0, longer.size() / 2);
        fuzzfiles::check(
            res.SaveData(shorter.data(), static_cast<long>(shorter.size()), key.first, key.second));
        before[key] = shorter;
    }
    fuzzfiles::check(res.Close());

    res.openReadOnly = 1;
    fuzzfiles::check(res.Open());
    const std::map<Key, std::string> after = readAll(res);
    fuzzfiles::check(after == before);
    res.Close();
    return 0;
}
