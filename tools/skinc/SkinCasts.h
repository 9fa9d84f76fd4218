// The cast table (skin/casts.txt): one line per picture recipe, naming the
// cast, giving its id and how it is painted. Recipes with variants (colour
// schemes, button states) make consecutive ids named NAME.variant.
//
//   # id   name          recipe     parameters
//   1000   groove.back   backpane   width=640 height=480
//   120    close         button     width=18 height=18 shape=round icon=close
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/skinc/SkinSource.h"

namespace skinc {

struct CastLine {
    int32_t id = 0;
    std::string name;
    std::string recipe;
    Params params;
    std::string where;
};

// One cast the compiler makes: a variant of a line.
struct CastEntry {
    int32_t id = 0;
    std::string name;
    int variant = 0;  // index among the line's variants
    size_t line = 0;  // index into CastTable::lines
};

class CastTable {
public:
    bool load(const std::string& path, Diag& diag);

    const std::vector<CastLine>& lines() const { return lines_; }
    const std::vector<CastEntry>& entries() const { return entries_; }  // in id order
    bool idOf(const std::string& name, int32_t& id) const;
    std::string nameOf(int32_t id) const;

    // The variant names a line makes ("" for a single picture); none for an
    // unknown recipe.
    static std::vector<std::string> variantsOf(const CastLine& line);

private:
    std::vector<CastLine> lines_;
    std::vector<CastEntry> entries_;
    std::map<std::string, int32_t> byName_;
    std::map<int32_t, std::string> byID_;
};

}  // namespace skinc
