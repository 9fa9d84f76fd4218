// Text items, building and the character-set conversions on any bytes.
// The first byte picks the separator and two numbers; the rest is the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "core/BLInternational.h"
#include "core/kelText.h"
#include "core/kelTextCodec.h"

namespace {

bool within(const std::string& whole, const kelText& part)
{
    return whole.find(part.c_str()) != std::string::npos;
}

void items(const std::string& text, char separator, long first, long count)
{
    const kelText t(text.c_str());
    const std::string s = t.c_str();  // up to the first NUL
    const long n = t.itemsCount(separator);
    fuzzfiles::check(n >= 0 && n <= t.len() + 1);
    fuzzfiles::check((n == 0) == s.empty());
    // Indexing steps over every separator, so there are at least n items.
    for (long i = 0; i <= n + 2; ++i) {
        const kelText item = t.item(i, separator);
        fuzzfiles::check(std::strchr(item.c_str(), separator) == nullptr || separator == '\0');
        fuzzfiles::check(within(s, item));
    }
    const kelText some = t.items(first, count, separator);
    fuzzfiles::check(within(s, some));
    const kelText mid = t.middle(first, count);
    fuzzfiles::check(mid.len() <= (count > 0 ? count : 0) && within(s, mid));

    kelText built;
    built.add(t);
    built.add(built);
    built.addfmt("%s", s.c_str());
    built.addRaw(static_cast<long>(text.size()), text.data());
    fuzzfiles::check(built.len() >= 3 * t.len());
    built.setRaw(built.len() / 2, built.c_str() + built.len() / 3);
    (void)t.toLong();
    (void)t.toShort();
    (void)t.similar(s.c_str());
    (void)BL_LanguageFromLocale(s.c_str());
}

void codec(const std::string& bytes)
{
    // Every 8-bit text survives the way to UTF-8 and back.
    std::string back;
    fuzzfiles::check(KEL_Utf8ToLatin1(KEL_Latin1ToUtf8(bytes), back));
    fuzzfiles::check(back == bytes);

    std::string table, again, error;
    if (KEL_TextSourceToTable(bytes, table, &error)) {
        fuzzfiles::check(table.find('\n') == std::string::npos && table.find('\0') == std::string::npos);
        fuzzfiles::check(KEL_TextSourceToTable(KEL_TableToTextSource(table), again));
        fuzzfiles::check(again == table);
    } else {
        fuzzfiles::check(!error.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    static const char kSeparators[] = {'\r', ',', ' ', '\0'};
    const char separator = kSeparators[data[0] & 3];
    const long first = (data[0] >> 2) & 7;
    const long count = static_cast<long>(data[0] >> 5) - 1;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    items(text, separator, first, count);
    codec(text);
    return 0;
}
