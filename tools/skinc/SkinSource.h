// Reading the skin's text sources: lines of blank-separated words, quoted
// strings, '#' comments, key=value parameters; and the compiler's error list.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace skinc {

// Collects every problem instead of stopping at the first, so one run of
// the compiler shows all the mistakes of a source.
class Diag {
public:
    void error(const std::string& where, const std::string& what);
    bool ok() const { return errors_.empty(); }
    const std::vector<std::string>& errors() const { return errors_; }

private:
    std::vector<std::string> errors_;
};

struct SourceLine {
    std::string file;
    int number = 0;
    std::vector<std::string> words;

    std::string where() const { return file + ":" + std::to_string(number); }
};

bool readWholeFile(const std::string& path, std::string& bytes);
// The non-empty lines of a source file; false (with an error) when it cannot
// be read or holds an unclosed quote.
bool readSourceLines(const std::string& path, std::vector<SourceLine>& lines, Diag& diag);

// key=value words; other words are kept in order as plain words.
class Params {
public:
    Params() = default;
    Params(const std::vector<std::string>& words, size_t first);

    bool has(const std::string& key) const { return values_.count(key) != 0; }
    std::string text(const std::string& key, const std::string& fallback = "") const;
    // Numbers: on a bad value the fallback, and the problem noted in bad().
    int number(const std::string& key, int fallback) const;
    double real(const std::string& key, double fallback) const;
    const std::vector<std::string>& plain() const { return plain_; }
    const std::vector<std::string>& bad() const { return bad_; }
    std::vector<std::string> keys() const;

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> plain_;
    mutable std::vector<std::string> bad_;
};

bool parseInt(const std::string& text, int& value);

}  // namespace skinc
