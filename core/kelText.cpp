#include "core/kelText.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Formats one value, sized first so that no width or value is cut.
template <typename T>
void appendFormatted(kelText& text, const char* format, T value)
{
    if (!format) return;
    const int n = std::snprintf(nullptr, 0, format, value);
    if (n <= 0) return;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (!out) return;
    std::snprintf(out, static_cast<size_t>(n) + 1, format, value);
    text.addRaw(n, out);
    std::free(out);
}

}  // namespace

kelText::kelText()
{
    buffer_ = static_cast<char*>(std::malloc(kInitialCapacity));
    if (buffer_) {
        buffer_[0] = '\0';
        capacity_ = kInitialCapacity;
    }
}

kelText::kelText(const char* text) : kelText()
{
    set(text);
}

kelText::kelText(const kelText& other) : kelText()
{
    set(other);
}

kelText::~kelText()
{
    std::free(buffer_);
}

bool kelText::grow(uint32_t n)
{
    if (capacity_ >= n && buffer_) return true;
    char* fresh = static_cast<char*>(std::malloc(n));
    if (!fresh) return false;
    if (buffer_) {
        std::memcpy(fresh, buffer_, std::strlen(buffer_) + 1);
    } else {
        fresh[0] = '\0';
    }
    std::free(buffer_);
    buffer_ = fresh;
    capacity_ = n;
    return true;
}

void kelText::appendBytes(const char* bytes, uint32_t count)
{
    const uint32_t old = static_cast<uint32_t>(len());
    if (count > UINT32_MAX - old - 1) return;
    // The source may lie inside this very buffer (x.add(x)), which grow may move.
    const bool inside = buffer_ && bytes >= buffer_ && bytes < buffer_ + capacity_;
    const size_t at = inside ? static_cast<size_t>(bytes - buffer_) : 0;
    if (!grow(old + count + 1)) return;
    if (inside) bytes = buffer_ + at;
    std::memmove(buffer_ + old, bytes, count);
    buffer_[old + count] = '\0';
}

void kelText::set(const char* text)
{
    if (text == buffer_) return;
    const size_t n = text ? std::strlen(text) : 0;
    if (n >= UINT32_MAX || !grow(static_cast<uint32_t>(n + 1))) return;
    if (n) std::memmove(buffer_, text, n);
    buffer_[n] = '\0';
}

void kelText::set(short value)
{
    set("");
    appendFormatted(*this, "%d", static_cast<int>(value));
}

void kelText::set(long value)
{
    set("");
    appendFormatted(*this, "%ld", value);
}

void kelText::set(float value)
{
    set("");
    appendFormatted(*this, "%f", static_cast<double>(value));
}

void kelText::set(const kelText& text)
{
    set(text.buffer_);
}
void kelText::set(const kelText* text)
{
    set(text ? text->buffer_ : nullptr);
}

void kelText::add(const char* text)
{
    if (text) appendBytes(text, static_cast<uint32_t>(std::strlen(text)));
}

void kelText::addS(short value)
{
    appendFormatted(*this, "%d", static_cast<int>(value));
}
void kelText::addL(long value)
{
    appendFormatted(*this, "%ld", value);
}
void kelText::addF(float value)
{
    appendFormatted(*this, "%f", static_cast<double>(value));
}
void kelText::add(const kelText& text)
{
    add(text.buffer_);
}
void kelText::add(const kelText* text)
{
    if (text) add(text->buffer_);
}

void kelText::addfmt(const char* format, const char* value)
{
    if (value) appendFormatted(*this, format, value);
}

void kelText::addfmtS(const char* format, short value)
{
    appendFormatted(*this, format, static_cast<int>(value));
}
void kelText::addfmtL(const char* format, long value)
{
    appendFormatted(*this, format, value);
}
void kelText::addfmtF(const char* format, float value)
{
    appendFormatted(*this, format, static_cast<double>(value));
}
void kelText::addfmt(const char* format, const kelText& value)
{
    addfmt(format, value.buffer_);
}
void kelText::addfmt(const char* format, const kelText* value)
{
    if (value) addfmt(format, value->buffer_);
}

void kelText::setRaw(long count, const char* bytes)
{
    if (count < 0 || (count > 0 && !bytes) || static_cast<unsigned long>(count) >= UINT32_MAX) return;
    if (buffer_ && bytes >= buffer_ && bytes < buffer_ + capacity_) {
        // A piece of this very text: take it before the buffer can move.
        kelText copy;
        copy.setRaw(count, bytes);
        set(copy);
        return;
    }
    if (!grow(static_cast<uint32_t>(count) + 1)) return;
    if (count) std::memcpy(buffer_, bytes, static_cast<size_t>(count));
    buffer_[count] = '\0';
}

void kelText::addRaw(long count, const char* bytes)
{
    if (count < 0 || (count > 0 && !bytes) || static_cast<unsigned long>(count) >= UINT32_MAX) return;
    appendBytes(bytes, static_cast<uint32_t>(count));
}

void kelText::setChar(char c)
{
    setRaw(1, &c);
}
void kelText::addChar(char c)
{
    addRaw(1, &c);
}

long kelText::len() const
{
    return buffer_ ? static_cast<long>(std::strlen(buffer_)) : 0;
}

kelText kelText::middle(long start, long count) const
{
    kelText out;
    const long length = len();
    if (start < 0 || start >= length || count <= 0) return out;
    out.setRaw(count < length - start ? count : length - start, buffer_ + start);
    return out;
}

long kelText::itemsCount(char separator) const
{
    if (isEmpty() || !buffer_) return 0;
    long n = 0;
    const char* p = buffer_;
    for (;;) {
        ++n;
        while (*p && *p != separator) ++p;
        if (!*p) break;
        while (*p && *p == separator) ++p;  // a run of separators counts as one
        if (!*p) break;
    }
    return n;
}

kelText kelText::items(long first, long count, char separator) const
{
    kelText out;
    if (!buffer_ || first < 0 || count <= 0) return out;
    const char* p = buffer_;
    // Skipping steps over exactly one separator: an empty line is an item.
    for (long i = 0; i < first; ++i) {
        while (*p && *p != separator) ++p;
        if (!*p) return out;
        ++p;
    }
    const char* start = p;
    for (long k = 0; k < count; ++k) {
        while (*p && *p != separator) ++p;
        if (k == count - 1 || !*p) break;
        while (*p && *p == separator) ++p;
    }
    out.setRaw(p - start, start);
    return out;
}

kelText& kelText::operator=(const char* text)
{
    set(text);
    return *this;
}

kelText& kelText::operator=(const kelText& other)
{
    if (this != &other) set(other);
    return *this;
}

kelText& kelText::operator=(const kelText* other)
{
    if (other != this) set(other);
    return *this;
}

bool kelText::isEqual(const kelText& other) const
{
    return isEqual(other.buffer_);
}

bool kelText::isEqual(const char* text) const
{
    return std::strcmp(buffer_ ? buffer_ : "", text ? text : "") == 0;
}

bool kelText::operator==(const char* text) const
{
    return isEqual(text);
}

kelText kelText::item(long index, char separator) const
{
    return items(index, 1, separator);
}

long kelText::toLong() const
{
    if (!buffer_) return 0;
    // As atol, but a number beyond 32 bits saturates instead of being undefined.
    long v = std::strtol(buffer_, nullptr, 10);
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return v;
}

short kelText::toShort() const
{
    const long v = toLong();
    return static_cast<short>(v > SHRT_MAX ? SHRT_MAX : v < SHRT_MIN ? SHRT_MIN : v);
}

bool kelText::isEmpty() const
{
    return buffer_ && buffer_[0] == '\0';
}

bool kelText::similar(const char* text) const
{
    if (!buffer_ || !text) return true;
    const char* a = buffer_;
    const char* b = text;
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    while (*a && fold(*a) == fold(*b)) {
        ++a;
        ++b;
    }
    return fold(*a) == fold(*b);
}
