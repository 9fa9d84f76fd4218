#include "core/kelTextCodec.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr uint32_t kEllipsis = 0x2026;

void putUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one character at `i` (strict: no overlong forms, no surrogates);
// false for a malformed sequence.
bool nextUtf8(std::string_view s, size_t& i, uint32_t& c)
{
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = b(i);
    int extra;
    uint32_t min;
    if (lead < 0x80) {
        c = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (s.size() - i <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return false;
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += static_cast<size_t>(extra) + 1;
    return true;
}

void describe(std::string* error, int line, const char* what, uint32_t c)
{
    if (!error) return;
    char buffer[160];
    if (c == 0xFFFFFFFFu)
        std::snprintf(buffer, sizeof buffer, "line %d: %s", line, what);
    else
        std::snprintf(buffer, sizeof buffer, "line %d: character U+%04X %s", line, static_cast<unsigned>(c),
                      what);
    *error = buffer;
}

bool convert(std::string_view utf8, std::string& out, std::string* error, bool allowNul)
{
    std::string result;
    result.reserve(utf8.size());
    int line = 1;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c;
        if (!nextUtf8(utf8, i, c)) {
            describe(error, line, "is not valid UTF-8", 0xFFFFFFFFu);
            return false;
        }
        if (c == '\n') ++line;
        if (c == 0 && !allowNul) {
            describe(error, line, "(NUL) cannot be stored in a text", c);
            return false;
        }
        if (c == kEllipsis) {
            result += static_cast<char>(kKelEllipsisCode);
        } else if (c == kKelEllipsisCode) {
            describe(error, line, "cannot be stored: its code is the ellipsis", c);
            return false;
        } else if (c > 0xFF) {
            describe(error, line, "has no code in the 8-bit character set", c);
            return false;
        } else {
            result += static_cast<char>(c);
        }
    }
    out = std::move(result);
    return true;
}

}  // namespace

std::string KEL_Latin1ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (const char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        putUtf8(out, c == kKelEllipsisCode ? kEllipsis : c);
    }
    return out;
}

bool KEL_Utf8ToLatin1(std::string_view utf8, std::string& out, std::string* error)
{
    return convert(utf8, out, error, true);
}

bool KEL_TextSourceToTable(std::string_view source, std::string& table, std::string* error)
{
    if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
    std::string text;
    if (!convert(source, text, error, false)) return false;
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF is one line end
        result += text[i] == '\n' ? '\r' : text[i];
    }
    table = std::move(result);
    return true;
}

std::string KEL_TableToTextSource(std::string_view table)
{
    std::string out = KEL_Latin1ToUtf8(table);
    for (char& c : out)
        if (c == '\r') c = '\n';
    return out;
}

bool KEL_IsUtf8(std::string_view text)
{
    uint32_t c;
    for (size_t i = 0; i < text.size();)
        if (!nextUtf8(text, i, c)) return false;
    return true;
}

std::string KEL_NameToUtf8(std::string_view name)
{
    if (KEL_IsUtf8(name)) return std::string(name);
    std::string out;
    for (const char ch : name) putUtf8(out, static_cast<uint8_t>(ch));
    return out;
}

std::string KEL_NameToLatin1(std::string_view name)
{
    if (!KEL_IsUtf8(name)) return std::string(name);
    std::string out;
    uint32_t c;
    for (size_t i = 0; i < name.size() && nextUtf8(name, i, c);) {
        if (c == kEllipsis)
            out += static_cast<char>(kKelEllipsisCode);
        else if (c == kKelEllipsisCode)
            out += 'E';  // its code draws the ellipsis
        else
            out += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return out;
}
