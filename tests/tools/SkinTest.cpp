// The skin as the build makes it: "Beatloom.xrs" and "Helps.txt" from the
// sources alone, the same bytes every time, and what the program asks of
// them (the font, the splash, the layouts of the eleven panels with their
// colour schemes, the message tables, the library pictures, the help table).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/BLInternational.h"
#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelLayouts.h"
#include "core/kelLayoutsText.h"
#include "core/kelRes.h"
#include "core/kelTextFile.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;

namespace {

const long kText = static_cast<long>(kelFourCC("TEXT"));
const long kData = static_cast<long>(kelFourCC("DATA"));

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel) ? std::string(kel) : std::string();
}

std::string skinc()
{
    return testsupport::toolsDir() + "/skinc/skinc";
}
// Fontconfig keeps some memory to the end of the process.
const std::vector<std::string> kSkincEnv = {"ASAN_OPTIONS=detect_leaks=0"};
std::string xrstool()
{
    return testsupport::toolsDir() + "/xrstool";
}
std::string builtXrs()
{
    return testsupport::programDir() + "/Beatloom.xrs";
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

// The built resource file, opened as the program opens it.
class BuiltSkin : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDebug = kelDebugFlag;
        kelDebugFlag = 0;
        ASSERT_TRUE(fs::exists(builtXrs())) << "the build makes " << builtXrs();
        ASSERT_TRUE(casts.OpenResFile(kelOf(builtXrs()).c_str()));
        casts.ParseResources();
    }
    void TearDown() override { kelDebugFlag = savedDebug; }

    KelOneCast* loaded(long id)
    {
        KelOneCast* c = casts.castAt(casts.MPixIDtoIndex(id));
        if (c) c->LoadAvailable();
        return c;
    }
    std::string text(long id)
    {
        kelTextFile t;
        return t.loadResource(casts.resFile, kText, id) ? std::string(t.c_str()) : std::string();
    }

    KelCasts casts;
    int16_t savedDebug = 1;
};

// The skin font as the program reads it: glyphs cut out by the marker row.
struct SkinFont {
    const kelOffmap* image = nullptr;
    int height = 0;
    kelRect glyphs[256];
    bool parse(const kelOffmap& picture)
    {
        image = &picture;
        height = picture.size.v - 5;
        const int marker = height + 2;
        int x = 0;
        const int w = picture.size.h;
        for (int code = 0; code < 256; ++code) {
            while (x < w && picture.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(marker)) == 0) ++x;
            const int left = x;
            while (x < w && picture.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(marker)) != 0) ++x;
            glyphs[code] = kelRect(left, 0, x, height);
            if (x == left) return false;
        }
        return true;
    }
    int width(unsigned char c) const { return glyphs[c].width(); }
    int width(const std::string& text) const
    {
        int w = 0;
        for (const unsigned char c : text) w += width(c);
        return w;
    }
    // Plain copies, glyph by glyph; a glyph that would stick out is left out.
    void copyString(kelOffmap& dest, const std::string& text, int x, int y, int align) const
    {
        if (align == 2)
            x -= width(text);
        else if (align != 0)
            x -= width(text) / 2;
        for (const unsigned char c : text) {
            const kelRect target(x, y, x + width(c), y + height);
            if (dest.bounds.contains(target)) dest.copy(image, &glyphs[c], &target);
            x += width(c);
        }
    }
};

// Columns of an image that hold a lit pixel.
std::vector<int> litColumns(const kelOffmap& image)
{
    std::vector<int> columns;
    for (int16_t x = 0; x < image.size.h; ++x)
        for (int16_t y = 0; y < image.size.v; ++y)
            if (image.getPixel(x, y) != 0) {
                columns.push_back(x);
                break;
            }
    return columns;
}

TEST(SkinBuild, SourcesAloneGiveTheSameBytesEveryTime)
{
    TempDir dir("skinc");
    for (const char* name : {"a", "b"}) {
        const auto r = run({skinc(), testsupport::sourceDir() + "/skin", dir.file(std::string(name) + ".xrs"),
                            dir.file(std::string(name) + ".txt")},
                           "", 120, kSkincEnv);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, "");
    }
    const std::string a = readFile(dir.file("a.xrs"));
    ASSERT_GT(a.size(), 16008u);
    EXPECT_TRUE(a == readFile(dir.file("b.xrs")));
    EXPECT_EQ(readFile(dir.file("a.txt")), readFile(dir.file("b.txt")));
    // What the build put beside the program came from the same sources.
    EXPECT_TRUE(a == readFile(builtXrs()));
    EXPECT_EQ(readFile(dir.file("a.txt")), readFile(testsupport::programDir() + "/Helps.txt"));
    EXPECT_FALSE(fs::exists(dir.file("a.xrs.part")));
}

TEST(SkinBuild, MistakesInTheSourcesStopTheBuildAndSayWhere)
{
    TempDir dir("skinc-bad");
    fs::copy(testsupport::sourceDir() + "/skin", dir.file("skin"), fs::copy_options::recursive);
    const std::string layout = dir.file("skin/layouts/synth.txt");
    testsupport::writeFile(layout, readFile(layout) + "\nitem 45\n  images nosuch.cast\n");
    const std::string casts = dir.file("skin/casts.txt");
    testsupport::writeFile(casts, readFile(casts) + "\n100 twice label text=x\n");
    testsupport::writeFile(dir.file("old.xrs"), "old");

    const auto r =
        run({skinc(), dir.file("skin"), dir.file("old.xrs"), dir.file("Helps.txt")}, "", 120, kSkincEnv);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("casts.txt:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cast id 100 is used by 'close.up' already"), std::string::npos) << r.out;
    // A failed run keeps the file it would have replaced.
    EXPECT_EQ(readFile(dir.file("old.xrs")), "old");
    EXPECT_FALSE(fs::exists(dir.file("Helps.txt")));

    testsupport::writeFile(casts, readFile(testsupport::sourceDir() + "/skin/casts.txt"));
    const auto r2 =
        run({skinc(), dir.file("skin"), dir.file("old.xrs"), dir.file("Helps.txt")}, "", 120, kSkincEnv);
    EXPECT_EQ(r2.exitCode, 1);
    EXPECT_NE(r2.out.find("layouts/synth.txt: line "), std::string::npos) << r2.out;
    EXPECT_NE(r2.out.find("no cast named 'nosuch.cast'"), std::string::npos) << r2.out;
}

TEST_F(BuiltSkin, FontHasAllGlyphsAndMeasuresText)
{
    KelOneCast* font = loaded(500);
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(font->imageLoaded);
    ASSERT_TRUE(font->maskLoaded);
    EXPECT_EQ(font->image.depthIndex, 1);

    SkinFont f;
    ASSERT_TRUE(f.parse(font->image)) << "a marker run for each of the 256 codes";
    EXPECT_EQ(f.height, 13);
    EXPECT_LE(f.glyphs[255].right, font->size.h);

    // DejaVu Sans at 10 pixels, advances rounded to whole pixels: figures
    // share one width, the ellipsis is an em wide; B e a t l o o m are
    // 6.86 6.15 6.13 3.92 2.78 6.12 6.12 9.74 pixels.
    for (unsigned char c = '0'; c <= '9'; ++c) EXPECT_EQ(f.width(c), 6) << c;
    EXPECT_EQ(f.width(' '), 3);
    EXPECT_EQ(f.width(0xC9), 10);
    EXPECT_GT(f.width('M'), f.width('i'));
    EXPECT_EQ(f.width("Beatloom"), 48);

    // The ellipsis: three dots side by side on one row.
    const kelRect& dots = f.glyphs[0xC9];
    int bestRuns = 0;
    for (int y = 0; y < f.height; ++y) {
        int runs = 0;
        bool inside = false;
        for (int x = dots.left; x < dots.right; ++x) {
            const bool ink = font->mask.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(y)) < 128;
            if (ink && !inside) ++runs;
            inside = ink;
        }
        bestRuns = std::max(bestRuns, runs);
    }
    EXPECT_EQ(bestRuns, 3);
    // Latin-1 letters of the second language have glyphs of their own.
    kelOffmap e, eAcute;
    ASSERT_TRUE(e.allocate(1, 20, 20, -1));
    ASSERT_TRUE(eAcute.allocate(1, 20, 20, -1));
    f.copyString(e, "e", 0, 0, 0);
    f.copyString(eAcute, "\xE9", 0, 0, 0);
    EXPECT_NE(std::memcmp(e.pixels, eAcute.pixels, static_cast<size_t>(e.dataSize)), 0);

    // Drawn with copyString: left-aligned from x, right-aligned ending at x,
    // centred on x; glyphs are white for the start-up tint.
    kelOffmap dest;
    ASSERT_TRUE(dest.allocate(1, 300, 20, -1));
    const std::string text = "Beatloom 2.0";
    const int total = f.width(text);
    EXPECT_EQ(total, 48 + 3 + 6 + 3 + 6);
    f.copyString(dest, text, 10, 2, 0);
    std::vector<int> lit = litColumns(dest);
    ASSERT_FALSE(lit.empty());
    EXPECT_GE(lit.front(), 10);
    EXPECT_LT(lit.back(), 10 + total);
    EXPECT_GT(lit.back(), 10 + total - f.width('0'));
    bool white = false;
    for (int16_t y = 0; y < 20 && !white; ++y)
        for (int16_t x = 0; x < 300 && !white; ++x) white = dest.getPixel(x, y) == 0x7FFF;
    EXPECT_TRUE(white);

    dest.fill(&dest.bounds, 0);
    f.copyString(dest, text, 250, 2, 2);
    lit = litColumns(dest);
    EXPECT_GE(lit.front(), 250 - total);
    EXPECT_LT(lit.back(), 250);

    dest.fill(&dest.bounds, 0);
    f.copyString(dest, text, 150, 2, 1);
    lit = litColumns(dest);
    EXPECT_GE(lit.front(), 150 - total / 2);
    EXPECT_LT(lit.back(), 150 - total / 2 + total);

    // A glyph that would stick out is left out whole.
    dest.fill(&dest.bounds, 0);
    f.copyString(dest, "00", 300 - f.width('0') - 2, 2, 0);
    lit = litColumns(dest);
    ASSERT_FALSE(lit.empty());
    EXPECT_LT(lit.back(), 300 - 2);
}

TEST_F(BuiltSkin, SplashIsThere)
{
    KelOneCast* splash = loaded(742);
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(splash->imageLoaded);
    EXPECT_LE(splash->size.h, 640);
    EXPECT_LE(splash->size.v, 480);
    EXPECT_GT(splash->size.h, 200);
}

TEST_F(BuiltSkin, EveryPanelHasItsLayoutsAndABackgroundInEveryScheme)
{
    // Panel index, then its main, second and third layout (-1: none).
    const int panels[12][3] = {{1, 2, 8},    {5, -1, -1},  {3, 4, -1},   {9, -1, -1},
                               {14, -1, -1}, {11, -1, -1}, {6, -1, -1},  {12, -1, -1},
                               {13, 18, -1}, {15, -1, -1}, {16, -1, -1}, {17, -1, -1}};
    for (int p = 0; p < 12; ++p) {
        SCOPED_TRACE("panel " + std::to_string(p));
        for (const int id : panels[p]) {
            if (id < 0) continue;
            const long length = casts.resFile->GetDataLen(kelLayoutType, id);
            EXPECT_TRUE(length == kKelLayoutSizeSmall || length == kKelLayoutSizeLarge) << "layout " << id;
        }
        KelLayout layout;
        layout.Set(&casts, panels[p][0]);
        layout.Load();
        ASSERT_GE(layout.itemsCount, 2);
        EXPECT_EQ(layout.itemAuxVal(0, 0), 19);
        EXPECT_EQ(layout.data.items[0].state, 1);  // passive: clicks go to the panel
        ASSERT_NE(layout.GetItemImage(0, 0), nullptr);
        EXPECT_EQ(layout.data.items[0].imageCastIDs[0], layout.itemAuxVal(0, 1));  // scheme 0 shows first
        for (int16_t scheme = 0; scheme < 10; ++scheme) {
            KelOneCast* c = loaded(layout.itemAuxVal(0, static_cast<int16_t>(scheme + 1)));
            ASSERT_NE(c, nullptr) << "scheme " << scheme;
            EXPECT_TRUE(c->imageLoaded);
            EXPECT_EQ(c->size.h, layout.work[0].frame.width());
        }
        // Every image an item names is a cast of the file; every control fits the stage.
        layout.bounds = kelRect(0, 0, 640, 480);
        layout.RecalcAll();
        for (int16_t i = 0; i < layout.itemsCount; ++i) {
            for (const int32_t castID : layout.data.items[i].imageCastIDs) {
                if (castID == 0) continue;
                EXPECT_GE(casts.MPixIDtoIndex(castID), 0) << "item " << i << " cast " << castID;
            }
            if (layout.data.items[i].state != 0) {
                EXPECT_TRUE(kelRect(0, 0, 640, 480).contains(layout.work[i].frame)) << "item " << i;
            }
        }
    }
    // The four panels the preferences recolour have eight different pictures.
    for (const int id : {1, 5, 3, 14}) {
        KelLayout layout;
        layout.Set(&casts, id);
        std::set<int16_t> distinct;
        for (int16_t k = 1; k <= 8; ++k) distinct.insert(layout.itemAuxVal(0, k));
        EXPECT_EQ(distinct.size(), 8u) << "layout " << id;
    }
}

TEST_F(BuiltSkin, MessageTablesHoldEveryMessageInBothLanguages)
{
    const std::set<int> used = {1,  2,  3,  4,  6,  7,  9,  10, 11, 12, 13, 14, 16, 17, 19, 20, 21, 22,
                                24, 25, 31, 34, 35, 36, 40, 42, 43, 44, 45, 46, 47, 48, 50, 52, 53};
    BLInternational intl;
    for (const int16_t language : {0x09, 0x0C}) {
        SCOPED_TRACE(language);
        intl.start(casts.resFile, language);
        EXPECT_EQ(intl.textSet, language == 0x0C ? 1 : 0);
        EXPECT_TRUE(casts.resFile->IsDataAvailable(kText, 100 + intl.textSet));
        for (const int n : used) EXPECT_FALSE(intl.message(n).isEmpty()) << "message " << n;
        for (int16_t kind = 0; kind < 3; ++kind) EXPECT_FALSE(intl.title(kind).isEmpty());
    }
    intl.start(casts.resFile, 0x07);  // not in the table: the first text set
    EXPECT_EQ(intl.textSet, 0);
}

TEST_F(BuiltSkin, LibraryPicturesAndCastNamesNameRealCasts)
{
    const std::vector<std::string> libraries = split(text(2), '\r');
    ASSERT_FALSE(libraries.empty());
    for (const std::string& line : libraries) {
        const std::vector<std::string> f = split(line, ',');
        ASSERT_EQ(f.size(), 2u) << line;
        KelOneCast* c = loaded(std::stol(f[1]));
        ASSERT_NE(c, nullptr) << line;
        EXPECT_TRUE(c->imageLoaded);
    }
    std::map<std::string, long> names;
    for (const std::string& line : split(text(3), '\r')) {
        const std::vector<std::string> f = split(line, ',');
        ASSERT_EQ(f.size(), 2u) << line;
        names[f[0]] = std::stol(f[1]);
        EXPECT_GE(casts.MPixIDtoIndex(names[f[0]]), 0) << line;
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(casts.count));
    EXPECT_EQ(names["font"], 500);
    EXPECT_EQ(names["splash"], 742);
    EXPECT_TRUE(names.count("Lim_unknown"));
}

TEST_F(BuiltSkin, HelpTableExplainsControlsThatExist)
{
    const std::string helps = readFile(testsupport::programDir() + "/Helps.txt");
    ASSERT_FALSE(helps.empty());
    // One table per text set, each ended by an empty line, and each the
    // same as the resource file's table of that set.
    std::vector<std::string> tables;
    for (size_t from = 0, end; (end = helps.find("\r\r", from)) != std::string::npos; from = end + 2)
        tables.push_back(helps.substr(from, end + 1 - from));
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].size() + tables[1].size() + 2, helps.size());
    std::string lines;
    for (const long set : {0, 1}) {
        kelTextFile data;
        ASSERT_TRUE(data.loadResource(casts.resFile, kData, 100 + set)) << set;
        EXPECT_EQ(std::string(data.c_str()), tables[static_cast<size_t>(set)]);
        lines += tables[static_cast<size_t>(set)];
    }
    EXPECT_NE(tables[0], tables[1]) << "the second language has texts of its own";

    KelOneCast* fontCast = loaded(500);
    SkinFont font;
    ASSERT_TRUE(font.parse(fontCast->image));
    const std::map<int, std::vector<int>> layoutsOf = {
        {0, {1, 2, 8}}, {1, {5}},          {2, {3, 4}}, {3, {9, 19}}, {4, {14}},  {5, {11}}, {6, {6}},
        {7, {12}},      {8, {13, 18, 20}}, {9, {15}},   {10, {16}},   {11, {17}}, {12, {22}}};
    // Where each panel first shows on the stage.
    const int shownAt[13][2] = {{0, 0},   {0, 0},    {20, 104}, {100, 200}, {100, 100}, {100, 100}, {40, 40},
                                {97, 87}, {100, 24}, {0, 0},    {120, 100}, {20, 30},   {100, 80}};
    int entries = 0, steps = 0;
    for (const std::string& line : split(lines, '\r')) {
        SCOPED_TRACE(line);
        ASSERT_FALSE(line.empty());
        const std::vector<std::string> f = split(line, ']');
        ASSERT_GE(f.size(), 11u);
        ASSERT_LE(f.size(), 22u);
        EXPECT_LT(std::stoi(f[0]), 32);
        KelOneCast* bubble = loaded(std::stol(f[1]));
        ASSERT_NE(bubble, nullptr);
        const int panel = std::stoi(f[2]);
        const int control = std::stoi(f[3]);
        ASSERT_TRUE(layoutsOf.count(panel));
        // The control is an interactive item of the panel's layouts.
        const int id = layoutsOf.at(panel)[static_cast<size_t>(control / 50)];
        KelLayout layout;
        layout.Set(&casts, id);
        const int16_t item = static_cast<int16_t>(control % 50);
        ASSERT_LT(item, layout.itemsCount);
        EXPECT_EQ(layout.data.items[item].state, 2);
        // A tour step names the panel whose help button starts its tour.
        if (f[8] == "0") {
            ++steps;
            EXPECT_TRUE(layoutsOf.count(std::stoi(f[9])));
        }
        // The text fits its bubble.
        const int lines = static_cast<int>(f.size()) - 10;
        EXPECT_LE(10 + 12 * (lines - 1) + font.height, bubble->size.v);
        for (size_t k = 10; k < f.size(); ++k) EXPECT_LE(font.width(f[k]) + 16, bubble->size.h);
        // Bubble and text, placed from the control's centre where the panel
        // first shows, stay on the stage and inside each other.
        layout.Load();
        layout.bounds = kelRect(0, 0, 640, 480);
        layout.bounds.offset(shownAt[panel][0], shownAt[panel][1]);
        layout.RecalcAll();
        const kelRect& c = layout.work[item].imageRect;
        const int cx = c.left + c.width() / 2, cy = c.top + c.height() / 2;
        kelRect box = bubble->bounds;
        box.offset(cx + std::stoi(f[4]), cy + std::stoi(f[5]));
        EXPECT_TRUE(kelRect(0, 0, 640, 480).contains(box));
        EXPECT_FALSE(box.contains(c.left + 1, c.top + 1)) << "the bubble covers its control";
        const kelRect textBox(cx + std::stoi(f[6]), cy + std::stoi(f[7]), cx + std::stoi(f[6]) + 1,
                              cy + std::stoi(f[7]) + 12 * (lines - 1) + font.height);
        EXPECT_TRUE(box.contains(textBox));
        ++entries;
    }
    EXPECT_GE(entries, 10);
    EXPECT_GE(steps, 10);
}

TEST_F(BuiltSkin, XrstoolShowsCastsAndLayouts)
{
    TempDir dir("xrstool-skin");
    auto r = run({xrstool(), "cast", builtXrs(), "500", dir.file("font.png")});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string png = readFile(dir.file("font.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    const auto* ihdr = reinterpret_cast<const uint8_t*>(png.data() + 16);
    EXPECT_EQ(static_cast<int>(kelGetBE32(ihdr)), casts.castAt(casts.MPixIDtoIndex(500))->size.h);
    EXPECT_EQ(static_cast<int>(kelGetBE32(ihdr + 4)), casts.castAt(casts.MPixIDtoIndex(500))->size.v);

    r = run({xrstool(), "cast", builtXrs(), "100", dir.file("mask.png"), "mask"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = run({xrstool(), "render", builtXrs(), "3", dir.file("synth.png"), "4", "100", "100"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string render = readFile(dir.file("synth.png"));
    EXPECT_EQ(kelGetBE32(reinterpret_cast<const uint8_t*>(render.data() + 16)), 640u);
    r = run({xrstool(), "cast", builtXrs(), "99999", dir.file("none.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no cast 99999"), std::string::npos) << r.out;

    // A layout printed as text reads back into the same payload.
    r = run({xrstool(), "layout", builtXrs(), "16"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("  images - stop.up stop.down\n"), std::string::npos) << r.out;
    std::map<std::string, int32_t> names;
    for (const std::string& line : split(text(3), '\r')) {
        const std::vector<std::string> f = split(line, ',');
        names[f[0]] = std::stoi(f[1]);
    }
    kelLayoutSource source;
    std::string error;
    ASSERT_TRUE(kelLayoutFromText(
        r.out,
        [&](const std::string& name, int32_t& id) {
            if (!names.count(name)) return false;
            id = names[name];
            return true;
        },
        source, error))
        << error;
    const long length = casts.resFile->GetDataLen(kelLayoutType, 16);
    std::vector<uint8_t> stored(static_cast<size_t>(length));
    ASSERT_TRUE(casts.resFile->LoadData(reinterpret_cast<char*>(stored.data()), length, kelLayoutType, 16));
    EXPECT_TRUE(kelLayoutWrite(source.data) == stored);
}

}  // namespace
