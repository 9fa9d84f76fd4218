#include "tools/skinc/SkinBuild.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelFiles.h"
#include "core/kelLayouts.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "tools/skinc/SkinPictures.h"

namespace skinc {

namespace {

const long kTypeText = static_cast<long>(kelFourCC("TEXT"));
const long kTypeData = static_cast<long>(kelFourCC("DATA"));
// The skin's pictures and their variants outgrow the 1000 entries of the
// program's own files; readers take the capacity from the header.
constexpr int16_t kSkinCapacity = 4000;
// The guide button of a tour's first bubble (cast help.guide, 20 high) takes two
// lines of the bubble.
constexpr int kGuideButtonLines = 2;

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

// A line "@N" in a message source places the next line at message N, so
// that each panel keeps its messages in a block of its own.
bool placeNumberedLines(const std::string& source, std::string& placed, std::string& error)
{
    std::vector<std::string> lines = split(source, '\n');
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.size() > 1 && line[0] == '@' && std::all_of(line.begin() + 1, line.end(), ::isdigit)) {
            const size_t wanted = std::stoul(line.substr(1));
            if (wanted < next) {
                error = "line " + std::to_string(i + 1) + ": message " + std::to_string(wanted) +
                        " is placed after message " + std::to_string(next - 1);
                return false;
            }
            for (; next < wanted; ++next) out += '\n';
            continue;
        }
        out += line;
        out += '\n';
        ++next;
    }
    placed = std::move(out);
    return true;
}

bool kelPathOf(const std::string& system, std::string& kel, Diag& diag)
{
    const std::string absolute = std::filesystem::absolute(system).lexically_normal().string();
    char buffer[kKelPathMax + 1];
    if (absolute.find(':') != std::string::npos ||
        !KEL_SystemPathToKelPath(absolute.c_str(), buffer, sizeof buffer)) {
        diag.error(system, "this path cannot be used for a resource file");
        return false;
    }
    kel = buffer;
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes)
{
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool save(KelResFile& file, const std::vector<uint8_t>& bytes, long type, long id)
{
    return file.SaveData(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()), type,
                         id);
}

}  // namespace

bool SkinBuild::compile()
{
    style_.load(folder_ + "/style.txt", diag_);
    casts_.load(folder_ + "/casts.txt", diag_);
    if (!diag_.ok()) return false;
    loadLayouts();
    loadTexts();
    loadHelpSources();
    if (!diag_.ok()) return false;
    return paint();
}

bool SkinBuild::loadLayouts()
{
    const std::string dir = folder_ + "/layouts";
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().extension() == ".txt") files.push_back(e.path().string());
    if (ec) {
        diag_.error(dir, "cannot be read");
        return false;
    }
    std::sort(files.begin(), files.end());
    const kelCastResolver resolve = [this](const std::string& name, int32_t& id) {
        return casts_.idOf(name, id);
    };
    std::map<int32_t, std::string> ids;
    for (const std::string& file : files) {
        std::string text, error;
        kelLayoutSource layout;
        if (!readWholeFile(file, text)) {
            diag_.error(file, "cannot be read");
            continue;
        }
        if (!kelLayoutFromText(text, resolve, layout, error)) {
            diag_.error(file, error);
            continue;
        }
        if (ids.count(layout.id)) {
            diag_.error(
                file, "layout " + std::to_string(layout.id) + " is given in " + ids[layout.id] + " already");
            continue;
        }
        if (!layout.tips.empty() && layout.panel < 0) {
            diag_.error(file, "tips need the panel the layout belongs to ('panel N base B')");
            continue;
        }
        // Casts given by number must be casts of this skin too.
        for (int16_t i = 0; i < layout.data.header.itemCount; ++i) {
            const kelLayoutItem& it = layout.data.items[i];
            std::vector<int32_t> used(std::begin(it.imageCastIDs), std::end(it.imageCastIDs));
            used.push_back(it.sizeCastID);
            for (const int32_t id : used)
                if (id != 0 && casts_.nameOf(id).empty())
                    diag_.error(file, "item " + std::to_string(i) + ": no cast " + std::to_string(id));
        }
        ids[layout.id] = file;
        layouts_.push_back(std::move(layout));
        layoutFiles_.push_back(file);
    }
    return diag_.ok();
}

bool SkinBuild::loadTexts()
{
    auto table = [&](const std::string& file, int32_t id, TextTable& out) {
        std::string source, error;
        if (!readWholeFile(file, source)) {
            diag_.error(file, "cannot be read");
            return false;
        }
        if (!KEL_TextSourceToTable(source, out.bytes, &error)) {
            diag_.error(file, error);
            return false;
        }
        out.id = id;
        out.where = file;
        return true;
    };

    TextTable languages;
    if (table(folder_ + "/text/languages.txt", kLanguageTableID, languages)) {
        texts_.push_back(languages);
        loadMessageTables(languages.bytes);
    }

    // Library pictures: the cast may be given by name.
    TextTable libraries;
    if (table(folder_ + "/text/libraries.txt", kLibraryTableID, libraries)) {
        std::string resolved;
        int number = 0;
        for (const std::string& line : split(libraries.bytes, '\r')) {
            ++number;
            if (line.empty() || line[0] == '#') continue;  // the source's notes
            const std::vector<std::string> fields = split(line, ',');
            int32_t id = 0;
            if (fields.size() != 2 || fields[0].empty() ||
                (!casts_.idOf(fields[1], id) && !parseInt(fields[1], id))) {
                diag_.error(libraries.where + ":" + std::to_string(number),
                            "expected: library name,picture cast");
                continue;
            }
            resolved += fields[0] + "," + std::to_string(id) + "\r";
        }
        libraries.bytes = resolved;
        texts_.push_back(libraries);
    }

    TextTable names;
    names.id = kCastNamesTableID;
    for (const CastEntry& e : casts_.entries()) names.bytes += e.name + "," + std::to_string(e.id) + "\r";
    texts_.push_back(names);
    return diag_.ok();
}

bool SkinBuild::loadMessageTables(const std::string& languages)
{
    // Each language names its message table by its code and its text set.
    std::map<int32_t, std::string> tables;
    int number = 0;
    for (const std::string& line : split(languages, '\r')) {
        ++number;
        const std::string where = folder_ + "/text/languages.txt:" + std::to_string(number);
        const std::vector<std::string> fields = split(line, ',');
        int language = 0, set = 0;
        if (line.empty()) {
            diag_.error(where, "an empty line would end the language table here");
            continue;
        }
        if (fields.size() != 4 || fields[1].empty() || !parseInt(fields[2], language) ||
            !parseInt(fields[3], set) || set < 0 || set > 99) {
            diag_.error(where, "expected: name,code,language number,text set (0..99)");
            continue;
        }
        const auto known = tables.find(set);
        if (known != tables.end() && known->second != fields[1]) {
            diag_.error(where, "text set " + fields[3] + " belongs to '" + known->second + "' already");
            continue;
        }
        if (known != tables.end()) continue;
        tables[set] = fields[1];
        languageCodes_[set] = fields[1];
    }
    if (!tables.count(0))
        diag_.error(folder_ + "/text/languages.txt", "no language uses text set 0, the fallback");

    std::vector<std::string> first;
    for (const auto& [set, code] : tables) {
        const std::string file = folder_ + "/text/messages-" + code + ".txt";
        std::string source, placed, error;
        TextTable t;
        if (!readWholeFile(file, source) || !placeNumberedLines(source, placed, error) ||
            !KEL_TextSourceToTable(placed, t.bytes, &error)) {
            diag_.error(file, error.empty() ? "cannot be read" : error);
            continue;
        }
        t.id = kMessageTableBase + set;
        t.where = file;
        // Every table has a text wherever the fallback table has one.
        const std::vector<std::string> lines = split(t.bytes, '\r');
        if (set == 0) {
            first = lines;
        } else {
            for (size_t n = 0; n < first.size(); ++n)
                if (!first[n].empty() && (n >= lines.size() || lines[n].empty()))
                    diag_.error(file, "message " + std::to_string(n) + " is missing");
        }
        texts_.push_back(t);
    }
    return diag_.ok();
}

bool SkinBuild::paint()
{
    const auto& entries = casts_.entries();
    pictures_.resize(entries.size());
    bool haveFont = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CastEntry& e = entries[i];
        const CastLine& line = casts_.lines()[e.line];
        if (line.recipe == "font") {
            if (e.id != kFontCastID) diag_.error(line.where, "the skin font is cast 500");
            const int height = static_cast<int>(style_.size("font.height"));
            const int baseline = static_cast<int>(style_.size("font.baseline"));
            if (renderSkinFont(style_.font("skin"), height, baseline, font_, diag_))
                pictures_[i] = font_.picture;
            haveFont = true;
            continue;
        }
        if (line.recipe == "splash" && e.id != kSplashCastID)
            diag_.error(line.where, "the splash is cast 742");
        paintCast(line, e.variant, style_, pictures_[i], diag_);
    }
    if (!haveFont) diag_.error(folder_ + "/casts.txt", "no skin font (recipe font, cast 500)");
    return diag_.ok();
}

bool SkinBuild::writeResource(const std::string& kelPath)
{
    KEL_FileDelete(kelPath.c_str());
    KelResFile file;
    file.createCapacity = kSkinCapacity;
    if (!file.SetWorkName(kelPath.c_str()) || !file.Create()) {
        diag_.error(kelPath, std::string("cannot be created: ") + file.GetOpenError());
        return false;
    }
    bool good = true;
    auto put = [&](const std::vector<uint8_t>& bytes, long type, long id, const std::string& what) {
        if (good && !save(file, bytes, type, id)) {
            diag_.error(what, file.GetElemsCount() >= kSkinCapacity ? "the resource file's table is full"
                                                                    : "cannot be written");
            good = false;
        }
    };
    const auto& entries = casts_.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const Picture& p = pictures_[i];
        const int32_t id = entries[i].id;
        const auto w = static_cast<int16_t>(p.width), h = static_cast<int16_t>(p.height);
        const int16_t strides[kKelCastVariants] = {0, kelCastStride(w, 2), 0,
                                                   p.mask.empty() ? int16_t{0} : kelCastStride(w, 1)};
        std::vector<uint8_t> header(kKelCastHeaderSize);
        kelCastWriteHeader(w, h, strides, header.data());
        put(header, kelCastHeaderType, id, entries[i].name);
        put(kelCastPack16(p.pixels.data(), w, h, strides[1]), kelCastTypes[1], id, entries[i].name);
        if (!p.mask.empty())
            put(kelCastPack8(p.mask.data(), w, h, strides[3]), kelCastTypes[3], id, entries[i].name);
    }
    std::vector<const kelLayoutSource*> byID;
    for (const kelLayoutSource& l : layouts_) byID.push_back(&l);
    std::sort(byID.begin(), byID.end(), [](auto* a, auto* b) { return a->id < b->id; });
    for (const kelLayoutSource* l : byID) put(kelLayoutWrite(l->data), kelLayoutType, l->id, "layout");
    std::vector<TextTable> texts = texts_;
    std::sort(texts.begin(), texts.end(), [](const TextTable& a, const TextTable& b) { return a.id < b.id; });
    for (const TextTable& t : texts)
        put(std::vector<uint8_t>(t.bytes.begin(), t.bytes.end()), kTypeText, t.id, t.where);
    if (!file.Close()) {
        diag_.error(kelPath, "cannot be completed");
        good = false;
    }
    return good;
}

bool SkinBuild::loadHelpSources()
{
    // The layouts' tips are written in the language of text set 0; every
    // other language translates them all.
    std::vector<std::string> codes;
    for (const auto& [set, code] : languageCodes_) {
        codes.push_back(code);
        if (set == 0) continue;
        readTipTranslations(folder_ + "/text/tips-" + code + ".txt", translations_[code], diag_);
    }
    readTours(folder_ + "/text/tour.txt", codes, tour_, diag_);
    return diag_.ok();
}

bool SkinBuild::placeTips(const std::string& kelPath, std::map<int32_t, std::vector<HelpTip>>& tips)
{
    // Read back through the program's own readers: every cast must parse and
    // every layout must load with all its items.
    KelCasts casts;
    if (!casts.OpenResFile(kelPath.c_str())) {
        diag_.error(kelPath, "cannot be read back");
        return false;
    }
    casts.ParseResources();
    if (casts.count != static_cast<int16_t>(casts_.entries().size()))
        diag_.error(kelPath, "reads back with " + std::to_string(casts.count) + " casts");

    // One entry, its text in every language (UTF-8, by text set).
    struct Placed {
        HelpTip tip;
        std::map<int32_t, std::string> texts;
    };
    std::vector<Placed> steps, rollover;
    std::map<std::string, std::set<std::string>> used;  // translations used, by code
    std::map<int32_t, KelLayout> placed;                // by layout id
    for (size_t i = 0; i < layouts_.size(); ++i) {
        const kelLayoutSource& source = layouts_[i];
        KelLayout& layout = placed[source.id];
        layout.Set(&casts, source.id);
        layout.Load();
        if (layout.itemsCount != source.data.header.itemCount) {
            diag_.error(layoutFiles_[i], "reads back with " + std::to_string(layout.itemsCount) + " items");
            continue;
        }
        layout.bounds = kelRect(0, 0, 640, 480);
        layout.bounds.offset(source.stage.h, source.stage.v);
        layout.RecalcAll();
        for (const kelLayoutTip& tip : source.tips) {
            Placed p;
            p.tip.panel = source.panel;
            p.tip.item = static_cast<int16_t>(source.base + tip.item);
            p.tip.control = layout.work[tip.item].imageRect;
            p.tip.where = layoutFiles_[i] + ": item " + std::to_string(tip.item);
            for (const auto& [set, code] : languageCodes_) {
                if (set == 0) {
                    p.texts[set] = tip.text;
                    continue;
                }
                const TipTranslations& known = translations_[code];
                const auto found = known.find(tip.text);
                if (found == known.end()) {
                    diag_.error(p.tip.where, "the tip has no text in '" + code + "' (text/tips-" + code +
                                                 ".txt): \"" + tip.text + "\"");
                    continue;
                }
                used[code].insert(tip.text);
                p.texts[set] = found->second.text;
            }
            rollover.push_back(std::move(p));
        }
    }
    for (const auto& [code, known] : translations_)
        for (const auto& [english, translation] : known)
            if (!used[code].count(english)) diag_.error(translation.where, "translates no tip of any layout");

    for (const TourStep& step : tour_) {
        const auto layout = std::find_if(layouts_.begin(), layouts_.end(),
                                         [&](const kelLayoutSource& l) { return l.id == step.layout; });
        if (layout == layouts_.end() || !placed.count(step.layout) || layout->panel < 0) {
            diag_.error(step.where, "no layout " + std::to_string(step.layout) + " of a panel");
            continue;
        }
        int item = -1;
        for (size_t k = 0; k < layout->labels.size(); ++k)
            if (layout->labels[k] == step.item) item = static_cast<int>(k);
        if (item < 0 && (!parseInt(step.item, item) || item >= layout->data.header.itemCount)) item = -1;
        if (item < 0 || layout->data.items[item].state != 2) {
            diag_.error(step.where, "layout " + std::to_string(step.layout) + " has no control '" +
                                        step.item + "' that takes clicks");
            continue;
        }
        Placed p;
        p.tip.panel = layout->panel;
        p.tip.item = static_cast<int16_t>(layout->base + item);
        p.tip.control = placed[step.layout].work[item].imageRect;
        p.tip.where = step.where;
        p.tip.tour = step.tour;
        for (const auto& [set, code] : languageCodes_) p.texts[set] = step.texts.at(code);
        steps.push_back(std::move(p));
    }
    // Tours as written (each tour's steps together), then the tips in panel
    // and control order, whatever the files are called.
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Placed& a, const Placed& b) { return a.tip.tour < b.tip.tour; });
    // A tour's first bubble keeps room for the button that opens the user guide.
    for (size_t i = 0; i < steps.size(); ++i)
        if (i == 0 || steps[i - 1].tip.tour != steps[i].tip.tour) steps[i].tip.roomLines = kGuideButtonLines;
    std::stable_sort(rollover.begin(), rollover.end(), [](const Placed& a, const Placed& b) {
        return a.tip.panel != b.tip.panel ? a.tip.panel < b.tip.panel : a.tip.item < b.tip.item;
    });
    for (const auto& [set, code] : languageCodes_) {
        std::vector<HelpTip>& out = tips[set];
        for (const auto* group : {&steps, &rollover})
            for (const Placed& p : *group) {
                HelpTip t = p.tip;
                std::string error;
                const auto text = p.texts.find(set);
                if (text == p.texts.end()) continue;  // said above: no translation
                if (!KEL_Utf8ToLatin1(text->second, t.text8, &error)) {
                    diag_.error(t.where, "text in '" + code + "': " + error);
                    continue;
                }
                out.push_back(std::move(t));
            }
    }
    return diag_.ok();
}

std::vector<HelpBubble> SkinBuild::bubbles() const
{
    std::vector<HelpBubble> out;
    for (const CastEntry& e : casts_.entries()) {
        const CastLine& line = casts_.lines()[e.line];
        if (line.recipe != "bubble") continue;
        out.push_back(HelpBubble{e.id, line.params.number("width", 200), line.params.number("lines", 1)});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const HelpBubble& a, const HelpBubble& b) { return a.lines < b.lines; });
    return out;
}

bool SkinBuild::addHelpTables(const std::string& kelPath, const std::map<int32_t, std::string>& tables)
{
    KelResFile file;
    if (!file.SetWorkName(kelPath.c_str()) || !file.Open()) {
        diag_.error(kelPath, "cannot be reopened");
        return false;
    }
    // The program reads 'DATA' 100 + its text set when "Helps.txt" is missing.
    bool saved = true;
    for (const auto& [set, table] : tables)
        saved = file.SaveData(table.data(), static_cast<long>(table.size()), kTypeData,
                              kMessageTableBase + set) &&
                saved;
    const bool closed = file.Close();
    if (!saved || !closed) diag_.error(kelPath, "the help table cannot be written");
    return saved && closed;
}

bool SkinBuild::write(const std::string& xrsPath, const std::string& helpsPath)
{
    std::string kelFinal;
    if (!kelPathOf(xrsPath, kelFinal, diag_)) return false;
    const std::string kelTemp = kelFinal + ".part";
    const std::string systemTemp = xrsPath + ".part";

    std::map<int32_t, std::vector<HelpTip>> tips;
    std::map<int32_t, std::string> tables;
    HelpGeometry geometry;
    geometry.padX = static_cast<int>(style_.size("help.padx"));
    geometry.padY = static_cast<int>(style_.size("help.pad"));
    geometry.line = static_cast<int>(style_.size("help.line"));
    bool good = writeResource(kelTemp) && placeTips(kelTemp, tips);
    for (const auto& [set, list] : tips)
        good = good && buildHelpTable(list, bubbles(), font_, geometry, tables[set], diag_);
    good = good && addHelpTables(kelTemp, tables);
    if (!good || !diag_.ok()) {
        std::remove(systemTemp.c_str());
        return false;
    }
    // Every text set's table in set order, each ended by an empty line; a
    // set no language uses is an empty table.
    std::string helps;
    const int32_t last = tables.empty() ? -1 : tables.rbegin()->first;
    for (int32_t set = 0; set <= last; ++set) {
        const auto t = tables.find(set);
        if (t != tables.end()) helps += t->second;
        helps += '\r';
    }
    if (!writeFileAtomically(helpsPath, helps)) {
        diag_.error(helpsPath, "cannot be written");
        std::remove(systemTemp.c_str());
        return false;
    }
    if (std::rename(systemTemp.c_str(), xrsPath.c_str()) != 0) {
        diag_.error(xrsPath, "cannot be put in place");
        std::remove(systemTemp.c_str());
        return false;
    }
    return true;
}

}  // namespace skinc
