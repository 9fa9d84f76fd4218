// kelText: the program's growable, NUL-terminated 8-bit string, and its tool
// for small tables stored as text (lines separated by '\r', fields by ',').
#pragma once

#include <cstdint>

class kelText {
public:
    static constexpr uint32_t kInitialCapacity = 256;

    kelText();
    kelText(const char* text);
    kelText(const kelText& other);
    virtual ~kelText();

    // Makes room for n bytes (terminator included); exactly n, no growth
    // factor. False when memory runs out (the text is unchanged then).
    bool grow(uint32_t n);
    uint32_t capacity() const { return capacity_; }
    const char* c_str() const { return buffer_; }
    char* data() { return buffer_; }

    virtual void set(const char* text);
    virtual void set(short value);
    virtual void set(long value);
    virtual void set(float value);
    virtual void set(const kelText& text);
    virtual void set(const kelText* text);
    virtual void add(const char* text);
    virtual void addS(short value);
    virtual void addL(long value);
    virtual void addF(float value);
    virtual void add(const kelText& text);
    virtual void add(const kelText* text);
    // Appends the value formatted by a printf-style format (one conversion).
    virtual void addfmt(const char* format, const char* value);
    virtual void addfmtS(const char* format, short value);
    virtual void addfmtL(const char* format, long value);
    virtual void addfmtF(const char* format, float value);
    virtual void addfmt(const char* format, const kelText& value);
    virtual void addfmt(const char* format, const kelText* value);
    virtual void setRaw(long count, const char* bytes);
    virtual void addRaw(long count, const char* bytes);
    virtual void setChar(char c);
    virtual void addChar(char c);
    virtual long len() const;
    virtual kelText middle(long start, long count) const;
    virtual long itemsCount(char separator) const;
    virtual kelText items(long first, long count, char separator) const;
    virtual kelText& operator=(const char* text);
    virtual kelText& operator=(const kelText& other);
    virtual kelText& operator=(const kelText* other);
    virtual bool isEqual(const kelText& other) const;
    virtual bool isEqual(const char* text) const;
    virtual bool operator==(const char* text) const;
    virtual kelText item(long index, char separator) const;
    virtual long toLong() const;
    virtual short toShort() const;
    virtual bool isEmpty() const;

    // Ignores the case of the letters A to Z only.
    bool similar(const char* text) const;
    void set(int value) { set(static_cast<long>(value)); }

private:
    void appendBytes(const char* bytes, uint32_t count);

    char* buffer_ = nullptr;
    uint32_t capacity_ = 0;
};
