#include "tools/skinc/SkinSource.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/kelLayoutsText.h"

namespace skinc {

void Diag::error(const std::string& where, const std::string& what)
{
    errors_.push_back(where.empty() ? what : where + ": " + what);
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) return false;
    bytes = all.str();
    return true;
}

bool readSourceLines(const std::string& path, std::vector<SourceLine>& lines, Diag& diag)
{
    std::string text;
    if (!readWholeFile(path, text)) {
        diag.error(path, "cannot be read");
        return false;
    }
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool good = true;
    while (std::getline(in, line)) {
        ++number;
        SourceLine out{path, number, {}};
        if (!kelSourceTokens(line, out.words)) {
            diag.error(out.where(), "unclosed quote");
            good = false;
            continue;
        }
        if (!out.words.empty()) lines.push_back(std::move(out));
    }
    return good;
}

bool parseInt(const std::string& text, int& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

Params::Params(const std::vector<std::string>& words, size_t first)
{
    for (size_t i = first; i < words.size(); ++i) {
        const std::string& w = words[i];
        const size_t eq = w.find('=');
        if (eq == std::string::npos || eq == 0)
            plain_.push_back(w);
        else
            values_[w.substr(0, eq)] = w.substr(eq + 1);
    }
}

std::string Params::text(const std::string& key, const std::string& fallback) const
{
    const auto it = values_.find(key);
    return it == values_.end() ? fallback : it->second;
}

int Params::number(const std::string& key, int fallback) const
{
    const auto it = values_.find(key);
    if (it == values_.end()) return fallback;
    int v = 0;
    if (!parseInt(it->second, v)) {
        bad_.push_back(key + "=" + it->second + " is not a whole number");
        return fallback;
    }
    return v;
}

double Params::real(const std::string& key, double fallback) const
{
    const auto it = values_.find(key);
    if (it == values_.end()) return fallback;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(it->second.c_str(), &end);
    if (errno != 0 || it->second.empty() || *end != '\0') {
        bad_.push_back(key + "=" + it->second + " is not a number");
        return fallback;
    }
    return v;
}

std::vector<std::string> Params::keys() const
{
    std::vector<std::string> out;
    for (const auto& [k, v] : values_) out.push_back(k);
    return out;
}

}  // namespace skinc
