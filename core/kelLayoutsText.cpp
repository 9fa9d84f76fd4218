#include "core/kelLayoutsText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace {

struct NamedValue {
    const char* name;
    int16_t value;
};

// The control kinds a layout item can ask for.
constexpr NamedValue kKinds[] = {
    {"plain", 0},          {"std-button", 10},    {"std-radio", 11},
    {"std-check", 12},     {"static-string", 13}, {"std-num", 14},
    {"edit-string", 15},   {"edit-num", 16},      {"static-cast", 17},
    {"std-list", 18},      {"backpane", 19},      {"edit-password", 20},
    {"scroll", 30},        {"image", 31},         {"film", 32},
    {"button", 33},        {"check", 34},         {"rotary", 36},
    {"hilite-button", 37}, {"text", 38},          {"radio", 39},
    {"image-id", 61},      {"image-ptr", 64},     {"image-bar", 68},
    {"popup", 70},         {"spectre", 72},       {"fluid-film", 73},
    {"round-scroll", 90},  {"dragger", 220},      {"dragger-receiver", 221},
    {"level-bar", 230},    {"rotor", 231},        {"progress", 232},
};

constexpr NamedValue kAnchors[] = {
    {"top-left", 0}, {"top", 1},         {"top-right", 2}, {"right", 3},  {"bottom-right", 4},
    {"bottom", 5},   {"bottom-left", 6}, {"left", 7},      {"centre", 8}, {"center", 8},
};

constexpr NamedValue kStates[] = {{"hidden", 0}, {"shown", 1}, {"active", 2}};

int16_t lookup(const NamedValue* table, size_t n, const std::string& name)
{
    for (size_t i = 0; i < n; ++i)
        if (name == table[i].name) return table[i].value;
    return -1;
}

const char* nameOfValue(const NamedValue* table, size_t n, int16_t value)
{
    for (size_t i = 0; i < n; ++i)
        if (table[i].value == value) return table[i].name;
    return nullptr;
}

bool parseLong(const std::string& text, long low, long high, long& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

// Parsing state of one source.
class LayoutParser {
public:
    LayoutParser(const kelCastResolver& resolve, kelLayoutSource& out) : resolve_(resolve), out_(out) {}

    bool line(const std::vector<std::string>& t, std::string& why);
    bool finish(std::string& why);

private:
    bool number(const std::string& text, long low, long high, long& value, std::string& why,
                const char* what);
    bool int16Value(const std::string& text, int16_t& value, std::string& why, const char* what);
    bool castID(const std::string& text, int32_t& id, std::string& why);
    bool auxValue(const std::string& text, int16_t& value, std::string& why);
    bool anchor(const std::string& text, int16_t& value, std::string& why);
    bool itemLine(const std::string& key, const std::vector<std::string>& t, std::string& why);

    const kelCastResolver& resolve_;
    kelLayoutSource& out_;
    kelLayoutItem* item_ = nullptr;
    int16_t itemIndex_ = -1;
    int16_t stretch_ = 0;
    int16_t layoutAnchor_ = 0;
    bool seen_[kKelLayoutMaxItems] = {};
    bool haveID_ = false;
    bool haveDesign_ = false;
    int16_t count_ = 0;

    bool closeItem(std::string& why)
    {
        if (!item_) return true;
        const long anchors = layoutAnchor_ + 16L * stretch_;
        if (anchors < INT16_MIN || anchors > INT16_MAX) {
            why = "item " + std::to_string(itemIndex_) + ": anchor and stretch do not fit together";
            return false;
        }
        item_->anchors = static_cast<int16_t>(anchors);
        return true;
    }
};

bool LayoutParser::number(const std::string& text, long low, long high, long& value, std::string& why,
                          const char* what)
{
    if (parseLong(text, low, high, value)) return true;
    why = std::string(what) + " must be a number from " + std::to_string(low) + " to " +
          std::to_string(high) + ", not '" + text + "'";
    return false;
}

bool LayoutParser::int16Value(const std::string& text, int16_t& value, std::string& why, const char* what)
{
    long v = 0;
    if (!number(text, INT16_MIN, INT16_MAX, v, why, what)) return false;
    value = static_cast<int16_t>(v);
    return true;
}

bool LayoutParser::castID(const std::string& text, int32_t& id, std::string& why)
{
    if (text == "-") {
        id = 0;
        return true;
    }
    long v = 0;
    if (parseLong(text, INT32_MIN, INT32_MAX, v)) {
        id = static_cast<int32_t>(v);
        return true;
    }
    if (resolve_ && resolve_(text, id)) return true;
    why = "no cast named '" + text + "'";
    return false;
}

bool LayoutParser::auxValue(const std::string& text, int16_t& value, std::string& why)
{
    long v = 0;
    if (parseLong(text, INT16_MIN, INT16_MAX, v)) {
        value = static_cast<int16_t>(v);
        return true;
    }
    int32_t id = 0;
    if (!castID(text, id, why)) return false;
    if (id < INT16_MIN || id > INT16_MAX) {
        why = "cast '" + text + "' has an id too large for an auxiliary value";
        return false;
    }
    value = static_cast<int16_t>(id);
    return true;
}

bool LayoutParser::anchor(const std::string& text, int16_t& value, std::string& why)
{
    const int16_t named = kelAnchorFromName(text);
    if (named >= 0) {
        value = named;
        return true;
    }
    // Numbers other than 0..8 name the point (0, 0); they are taken so that
    // any stored layout prints and reads back as it was.
    if (!int16Value(text, value, why, "an anchor")) {
        why += " (or a name such as top-left, centre)";
        return false;
    }
    return true;
}

bool LayoutParser::line(const std::vector<std::string>& t, std::string& why)
{
    const std::string& key = t[0];
    const size_t args = t.size() - 1;
    auto want = [&](size_t n) {
        if (args == n) return true;
        why = "'" + key + "' takes " + std::to_string(n) + " value" + (n == 1 ? "" : "s");
        return false;
    };
    long v = 0;
    if (key == "layout") {
        if (!want(1) || !number(t[1], 0, INT32_MAX, v, why, "a layout id")) return false;
        out_.id = static_cast<int32_t>(v);
        haveID_ = true;
        return true;
    }
    if (key == "panel") {
        if (args != 1 && !(args == 3 && t[2] == "base")) {
            why = "'panel' takes an index, optionally followed by: base N";
            return false;
        }
        if (!number(t[1], 0, 12, v, why, "a panel index")) return false;
        out_.panel = static_cast<int16_t>(v);
        if (args == 3) {
            if (!number(t[3], 0, 199, v, why, "a base")) return false;
            out_.base = static_cast<int16_t>(v);
        }
        return true;
    }
    if (key == "stage") {
        return want(2) && int16Value(t[1], out_.stage.h, why, "a position") &&
               int16Value(t[2], out_.stage.v, why, "a position");
    }
    if (key == "design") {
        if (!want(4)) return false;
        int16_t r[4];
        for (int i = 0; i < 4; ++i)
            if (!int16Value(t[1 + i], r[i], why, "a coordinate")) return false;
        out_.data.header.design = kelRect(r[0], r[1], r[2], r[3]);
        haveDesign_ = true;
        return true;
    }
    if (key == "item") {
        if (args < 1 || args > 2) {
            why = "'item' takes an index and an optional label";
            return false;
        }
        if (!number(t[1], 0, kKelLayoutMaxItems - 1, v, why, "an item index")) return false;
        if (seen_[v]) {
            why = "item " + t[1] + " is given twice";
            return false;
        }
        if (!closeItem(why)) return false;
        seen_[v] = true;
        itemIndex_ = static_cast<int16_t>(v);
        item_ = &out_.data.items[v];
        *item_ = kelLayoutItem{};
        item_->state = 1;
        stretch_ = 0;
        layoutAnchor_ = 0;
        if (out_.labels.size() <= static_cast<size_t>(v)) out_.labels.resize(static_cast<size_t>(v) + 1);
        out_.labels[static_cast<size_t>(v)] = args == 2 ? t[2] : "";
        if (itemIndex_ + 1 > count_) count_ = static_cast<int16_t>(itemIndex_ + 1);
        return true;
    }
    if (!item_) {
        why = "'" + key + "' outside an item (or an unknown word)";
        return false;
    }
    return itemLine(key, t, why);
}

bool LayoutParser::itemLine(const std::string& key, const std::vector<std::string>& t, std::string& why)
{
    const size_t args = t.size() - 1;
    auto want = [&](size_t n) {
        if (args == n) return true;
        why = "'" + key + "' takes " + std::to_string(n) + " value" + (n == 1 ? "" : "s");
        return false;
    };
    kelLayoutItem& it = *item_;
    if (key == "kind") {
        if (!want(1)) return false;
        const int16_t named = kelKindFromName(t[1]);
        if (named >= 0) {
            it.aux[kKelAuxKind] = named;
            return true;
        }
        long v = 0;
        if (!parseLong(t[1], INT16_MIN, INT16_MAX, v)) {
            why = "unknown kind '" + t[1] + "'";
            return false;
        }
        it.aux[kKelAuxKind] = static_cast<int16_t>(v);
        return true;
    }
    if (key == "state") {
        if (!want(1)) return false;
        const int16_t named = lookup(kStates, std::size(kStates), t[1]);
        if (named >= 0) {
            it.state = named;
            return true;
        }
        return int16Value(t[1], it.state, why, "a state (or hidden, shown, active)");
    }
    if (key == "anchor") return want(1) && anchor(t[1], layoutAnchor_, why);
    if (key == "self") return want(1) && anchor(t[1], it.selfAnchor, why);
    if (key == "stretch") {
        if (!want(1)) return false;
        if (t[1] == "none") {
            stretch_ = 0;
            return true;
        }
        return anchor(t[1], stretch_, why);
    }
    if (key == "offset") {
        return want(2) && int16Value(t[1], it.offset.h, why, "an offset") &&
               int16Value(t[2], it.offset.v, why, "an offset");
    }
    if (key == "frame") {
        return want(2) && int16Value(t[1], it.frameSize.h, why, "a frame size") &&
               int16Value(t[2], it.frameSize.v, why, "a frame size");
    }
    if (key == "size") return want(1) && castID(t[1], it.sizeCastID, why);
    if (key == "images") {
        if (args < 1 || args > static_cast<size_t>(kKelLayoutImages)) {
            why = "'images' takes one to ten casts";
            return false;
        }
        for (size_t j = 0; j < args; ++j)
            if (!castID(t[1 + j], it.imageCastIDs[j], why)) return false;
        return true;
    }
    if (key == "aux") {
        long k = 0;
        if (!want(2) || !number(t[1], 1, kKelLayoutAuxValues - 1, k, why, "an auxiliary index")) return false;
        return auxValue(t[2], it.aux[k], why);
    }
    if (key == "help") return want(1) && int16Value(t[1], it.aux[kKelAuxHelp], why, "a help number");
    if (key == "source") return want(1) && int16Value(t[1], it.aux[kKelAuxSource], why, "a source item");
    if (key == "schemes") {
        if (!want(1)) return false;
        std::vector<int32_t> ids;
        for (int k = 0; k < 10; ++k) {
            int32_t id = 0;
            if (!resolve_ || !resolve_(t[1] + "." + std::to_string(k), id)) break;
            ids.push_back(id);
        }
        if (ids.empty()) {
            why = "no colour-scheme casts named '" + t[1] + ".0' and up";
            return false;
        }
        // Ten slots; schemes beyond the painted ones repeat them.
        for (int k = 0; k < 10; ++k) {
            const int32_t id = ids[static_cast<size_t>(k) % ids.size()];
            if (id < INT16_MIN || id > INT16_MAX) {
                why = "colour-scheme cast ids must fit an auxiliary value";
                return false;
            }
            it.aux[1 + k] = static_cast<int16_t>(id);
        }
        return true;
    }
    if (key == "tip") {
        if (!want(1)) return false;
        out_.tips.push_back(kelLayoutTip{itemIndex_, t[1]});
        return true;
    }
    why = "unknown word '" + key + "'";
    return false;
}

bool LayoutParser::finish(std::string& why)
{
    if (!closeItem(why)) return false;
    if (!haveID_) {
        why = "no 'layout' line";
        return false;
    }
    if (!haveDesign_) {
        why = "no 'design' line";
        return false;
    }
    out_.data.header.itemCount = count_;
    // Items skipped in the numbering stay hidden placeholders.
    for (int16_t i = 0; i < count_; ++i)
        if (!seen_[i]) out_.data.items[i].state = 0;
    out_.labels.resize(static_cast<size_t>(count_));
    return true;
}

void printCast(std::ostringstream& s, int32_t id, const kelCastNamer& nameOf)
{
    if (id == 0) {
        s << " -";
        return;
    }
    const std::string name = nameOf ? nameOf(id) : std::string();
    if (name.empty())
        s << ' ' << id;
    else
        s << ' ' << name;
}

}  // namespace

bool kelSourceTokens(const std::string& line, std::vector<std::string>& tokens)
{
    tokens.clear();
    size_t i = 0;
    const size_t n = line.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < n) {
        while (i < n && blank(line[i])) ++i;
        if (i >= n) break;
        if (line[i] == '#' && (tokens.empty() || i + 1 >= n || blank(line[i + 1]))) break;
        // Quotes may open anywhere in a word (text="Two words").
        std::string token;
        bool quoted = false;
        while (i < n && (quoted || !blank(line[i]))) {
            char c = line[i++];
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            if (quoted && c == '\\' && i < n && (line[i] == '"' || line[i] == '\\')) c = line[i++];
            token += c;
        }
        if (quoted) return false;
        tokens.push_back(token);
    }
    return true;
}

int16_t kelKindFromName(const std::string& name)
{
    return lookup(kKinds, std::size(kKinds), name);
}
const char* kelKindName(int16_t kind)
{
    return nameOfValue(kKinds, std::size(kKinds), kind);
}
int16_t kelAnchorFromName(const std::string& name)
{
    return lookup(kAnchors, std::size(kAnchors), name);
}
const char* kelAnchorName(int16_t anchor)
{
    return nameOfValue(kAnchors, std::size(kAnchors), anchor);
}

bool kelLayoutFromText(const std::string& text, const kelCastResolver& resolve, kelLayoutSource& out,
                       std::string& error)
{
    out = kelLayoutSource{};
    LayoutParser parser(resolve, out);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::vector<std::string> tokens;
    while (std::getline(in, line)) {
        ++number;
        std::string why;
        if (!kelSourceTokens(line, tokens)) {
            error = "line " + std::to_string(number) + ": unclosed quote";
            return false;
        }
        if (tokens.empty()) continue;
        if (!parser.line(tokens, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    std::string why;
    if (!parser.finish(why)) {
        error = why;
        return false;
    }
    return true;
}

std::string kelLayoutToText(int32_t id, const kelLayoutData& data, const kelCastNamer& nameOf)
{
    std::ostringstream s;
    const kelRect& d = data.header.design;
    s << "layout " << id << "\n";
    s << "design " << d.left << ' ' << d.top << ' ' << d.right << ' ' << d.bottom << "\n";
    const int count =
        data.header.itemCount < 0 ? 0 : std::min<int>(data.header.itemCount, kKelLayoutMaxItems);
    if (count != data.header.itemCount) s << "# the stored item count is " << data.header.itemCount << "\n";
    auto anchorText = [](int16_t a) {
        const char* name = kelAnchorName(a);
        return name ? std::string(name) : std::to_string(a);
    };
    for (int i = 0; i < count; ++i) {
        const kelLayoutItem& it = data.items[i];
        s << "\nitem " << i << "\n";
        const char* kind = kelKindName(it.aux[kKelAuxKind]);
        s << "  kind " << (kind ? std::string(kind) : std::to_string(it.aux[kKelAuxKind])) << "\n";
        const char* state = nameOfValue(kStates, std::size(kStates), it.state);
        s << "  state " << (state ? std::string(state) : std::to_string(it.state)) << "\n";
        s << "  anchor " << anchorText(it.layoutAnchor()) << "\n";
        s << "  self " << anchorText(it.selfAnchor) << "\n";
        if (it.stretchAnchor() != 0) s << "  stretch " << anchorText(it.stretchAnchor()) << "\n";
        s << "  offset " << it.offset.h << ' ' << it.offset.v << "\n";
        if (it.frameSize.h != 0 || it.frameSize.v != 0 || it.sizeCastID == 0)
            s << "  frame " << it.frameSize.h << ' ' << it.frameSize.v << "\n";
        if (it.sizeCastID != 0) {
            s << "  size";
            printCast(s, it.sizeCastID, nameOf);
            s << "\n";
        }
        int lastImage = kKelLayoutImages - 1;
        while (lastImage >= 0 && it.imageCastIDs[lastImage] == 0) --lastImage;
        if (lastImage >= 0) {
            s << "  images";
            for (int j = 0; j <= lastImage; ++j) printCast(s, it.imageCastIDs[j], nameOf);
            s << "\n";
        }
        const bool backpane = it.aux[kKelAuxKind] == 19;
        for (int k = 1; k < kKelLayoutAuxValues; ++k) {
            const int16_t v = it.aux[k];
            if (v == 0) continue;
            // A background's values 1 to 10 are its colour-scheme casts, 7 and 9 included.
            if (backpane && k <= 10) {
                s << "  aux " << k;
                printCast(s, v, nameOf);
                s << "\n";
            } else if (k == kKelAuxHelp) {
                s << "  help " << v << "\n";
            } else if (k == kKelAuxSource) {
                s << "  source " << v << "\n";
            } else {
                s << "  aux " << k << ' ' << v << "\n";
            }
        }
    }
    return s.str();
}
