// xrstool: looks inside resource files and puts items into them.
//
//   xrstool list FILE                     one line per item: type, id, length, offset
//   xrstool text FILE ID                  the 'TEXT' item ID as a text file
//   xrstool extract FILE TYPE ID OUT      an item's payload into a file
//   xrstool put FILE TYPE ID IN           a file as the item (added or replaced)
//   xrstool puttext FILE ID IN            a text file as 'TEXT' item ID
//   xrstool cast FILE ID OUT.png [plain|mask]   a cast's picture (over a checkerboard
//                                         where its mask leaves it out), plain, or its mask
//   xrstool layout FILE ID                a layout as text, casts by name
//   xrstool render FILE ID OUT.png [SCHEME [X Y]]   a layout's pictures as its panel
//                                         first shows them, on the 640 x 480 stage
//
// TYPE is four characters ("TEXT", "LAYA") or 0x and eight hexadecimal digits.
// put and puttext create FILE when it is missing. Text files are UTF-8 with
// one table line per line; in the item the lines end in carriage returns and
// the characters are the program's 8-bit set.
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelLayouts.h"
#include "core/kelLayoutsText.h"
#include "core/kelOffmap.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "platform/PlatScreen.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The skin compiler's table of cast names.
constexpr long kCastNamesTableID = 3;

const char* const kUsage =
    "usage: xrstool list FILE\n"
    "       xrstool text FILE ID\n"
    "       xrstool extract FILE TYPE ID OUT\n"
    "       xrstool put FILE TYPE ID IN\n"
    "       xrstool puttext FILE ID IN\n"
    "       xrstool cast FILE ID OUT.png [plain|mask]\n"
    "       xrstool layout FILE ID\n"
    "       xrstool render FILE ID OUT.png [SCHEME [X Y]]\n"
    "TYPE is four characters (TEXT) or 0x and eight hex digits (0x54455854);\n"
    "ID is a decimal number.\n";

int usage(const char* problem)
{
    if (problem) std::fprintf(stderr, "xrstool: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int fail(const std::string& subject, const std::string& reason)
{
    std::fprintf(stderr, "xrstool: %s: %s\n", subject.c_str(), reason.c_str());
    return kExitFailure;
}

bool parseID(const char* text, long& id)
{
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    id = v;
    return true;
}

bool parseType(const char* text, long& type)
{
    if (!text) return false;
    if (std::strlen(text) == 4) {
        type = static_cast<long>(kelGetBE32(reinterpret_cast<const uint8_t*>(text)));
        return true;
    }
    // Or "0x" and eight hexadecimal digits, which no four-character form matches.
    if (std::strlen(text) != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    uint32_t v = 0;
    for (const char* p = text + 2; *p; ++p) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = (v << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    type = static_cast<long>(v);
    return true;
}

std::string typeName(int32_t type)
{
    uint8_t bytes[4];
    kelPutBE32(bytes, static_cast<uint32_t>(type));
    std::string out;
    for (const uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

// The resource file layer takes kel paths, which give ':' a meaning of its own.
bool kelPathOf(const std::string& system, std::string& kel, std::string& problem)
{
    if (system.find(':') != std::string::npos) {
        problem = "file names with ':' are not supported";
        return false;
    }
    char buffer[kKelPathMax + 1];
    char back[kKelSystemPathMax + 1];
    if (!KEL_SystemPathToKelPath(system.c_str(), buffer, sizeof buffer) ||
        !KEL_KelPathToSystemPath(buffer, back)) {
        problem = "path too long";
        return false;
    }
    kel = buffer;
    return true;
}

bool readWhole(const std::string& path, std::string& bytes, std::string& problem)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = std::strerror(errno);
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) {
        problem = "read error";
        return false;
    }
    bytes = all.str();
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
        problem = "too large for a resource item";
        return false;
    }
    return true;
}

// Writes beside the target and renames, so a failure keeps the old file.
bool writeWhole(const std::string& path, const char* bytes, size_t size, std::string& problem)
{
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            problem = std::strerror(errno);
            return false;
        }
        out.write(bytes, static_cast<std::streamsize>(size));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            problem = "write error";
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        problem = std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string openProblem(const KelResFile& res)
{
    const std::string why = res.GetOpenError();
    if (why == "no such file" || why == "cannot open the file") return why;
    return "not a resource file or damaged (" + why + ")";
}

// Opens FILE for reading; on failure reports why and returns false.
bool openForReading(KelResFile& res, const std::string& path, int& status)
{
    std::string kel, problem;
    if (!kelPathOf(path, kel, problem)) {
        status = fail(path, problem);
        return false;
    }
    res.SetWorkName(kel.c_str());
    res.openReadOnly = 1;
    if (!res.Open()) {
        status = fail(path, openProblem(res));
        return false;
    }
    return true;
}

bool loadItem(KelResFile& res, const std::string& path, long type, long id, std::string& bytes, int& status)
{
    char* data = nullptr;
    if (!res.IsDataAvailable(type, id)) {
        status = fail(path, "no item '" + typeName(static_cast<int32_t>(type)) + "' " + std::to_string(id));
        return false;
    }
    const long length = res.GetDataLen(type, id);
    if (!res.GetData(&data, type, id)) {
        status = fail(
            path, "cannot read item '" + typeName(static_cast<int32_t>(type)) + "' " + std::to_string(id));
        return false;
    }
    bytes.assign(data, static_cast<size_t>(length));
    void* p = data;
    KEL_DisposePtr(&p);
    return true;
}

int cmdList(const std::string& path)
{
    KelResFile res;
    int status = 0;
    if (!openForReading(res, path, status)) return status;
    for (int16_t i = 0; i < res.GetElemsCount(); ++i) {
        kelResElem e;
        res.GetElem(i, &e);
        std::printf("%-4s %11" PRId32 " %11" PRId32 " %11" PRId32 "\n", typeName(e.type).c_str(), e.id,
                    e.length, e.offset);
    }
    return 0;
}

int cmdText(const std::string& path, long id)
{
    KelResFile res;
    int status = 0;
    std::string bytes;
    if (!openForReading(res, path, status) || !loadItem(res, path, kelFourCC("TEXT"), id, bytes, status))
        return status;
    const std::string text = KEL_TableToTextSource(bytes);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int cmdExtract(const std::string& path, long type, long id, const std::string& out)
{
    KelResFile res;
    int status = 0;
    std::string bytes, problem;
    if (!openForReading(res, path, status) || !loadItem(res, path, type, id, bytes, status)) return status;
    if (!writeWhole(out, bytes.data(), bytes.size(), problem)) return fail(out, problem);
    return 0;
}

// Adds or replaces the item in a copy of FILE (or a new file) and renames the
// copy into place, so that a failure leaves FILE as it was.
int putItem(const std::string& path, long type, long id, const std::string& payload)
{
    std::string kel, problem;
    if (!kelPathOf(path, kel, problem)) return fail(path, problem);
    const std::string kelTemp = kel + ".part";
    const std::string temp = path + ".part";
    std::remove(temp.c_str());
    KelResFile res;
    res.SetWorkName(kelTemp.c_str());
    if (KEL_FileExists(kel.c_str())) {
        KelResFile check;
        check.SetWorkName(kel.c_str());
        check.openReadOnly = 1;
        if (!check.Open()) return fail(path, openProblem(check));
        check.Close();
        if (!KEL_FileCopy(kel.c_str(), kelTemp.c_str()) || !res.Open()) {
            std::remove(temp.c_str());
            return fail(path, "cannot make a working copy beside it");
        }
    } else if (!res.Create()) {
        return fail(path, std::string("cannot create (") + res.GetOpenError() + ")");
    }
    const bool saved = res.SaveData(payload.data(), static_cast<long>(payload.size()), type, id);
    const bool full = !saved && !res.IsDataAvailable(type, id) && res.GetElemsCount() >= res.GetCapacity();
    const bool closed = res.Close();
    if (!saved || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return fail(path, full ? "the element table is full" : "cannot write the item");
    }
    return 0;
}

int cmdPut(const std::string& path, long type, long id, const std::string& in)
{
    std::string payload, problem;
    if (!readWhole(in, payload, problem)) return fail(in, problem);
    return putItem(path, type, id, payload);
}

int cmdPutText(const std::string& path, long id, const std::string& in)
{
    std::string source, table, problem;
    if (!readWhole(in, source, problem)) return fail(in, problem);
    if (!KEL_TextSourceToTable(source, table, &problem)) return fail(in, problem);
    return putItem(path, kelFourCC("TEXT"), id, table);
}

// ---------------------------------------------------------- casts and layouts

// Cast names from the 'TEXT' 3 table the skin compiler writes ("name,id" a line).
std::map<int32_t, std::string> castNames(KelResFile& res)
{
    std::map<int32_t, std::string> names;
    char* data = nullptr;
    const long type = kelFourCC("TEXT");
    if (!res.IsDataAvailable(type, kCastNamesTableID)) return names;
    const long length = res.GetDataLen(type, kCastNamesTableID);
    if (!res.GetData(&data, type, kCastNamesTableID)) return names;
    std::istringstream lines(std::string(data, static_cast<size_t>(length)));
    void* p = data;
    KEL_DisposePtr(&p);
    std::string line;
    while (std::getline(lines, line, '\r')) {
        const size_t comma = line.rfind(',');
        long id = 0;
        if (comma != std::string::npos && parseID(line.substr(comma + 1).c_str(), id))
            names[static_cast<int32_t>(id)] = line.substr(0, comma);
    }
    return names;
}

uint8_t channel8(int c5)
{
    return static_cast<uint8_t>((c5 * 255 + 15) / 31);
}

// One pixel of a loaded cast picture as 8-bit R, G, B.
void pixelRgb(const kelOffmap& image, int x, int y, uint8_t* rgb)
{
    const uint8_t* row = image.rowFromTop(y);
    if (image.depthIndex == kelDepth16) {
        const uint16_t v = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
        rgb[0] = channel8((v >> 10) & 31);
        rgb[1] = channel8((v >> 5) & 31);
        rgb[2] = channel8(v & 31);
    } else if (image.depthIndex == kelDepth32) {
        rgb[0] = row[4 * x + 2];
        rgb[1] = row[4 * x + 1];
        rgb[2] = row[4 * x];
    } else {
        rgb[0] = rgb[1] = rgb[2] = row[x];  // the palette has no effect on this platform
    }
}

bool writePicture(const std::string& path, const kelOffmap& image, const kelOffmap* mask, const char* mode,
                  int& status)
{
    const int w = image.size.h, h = image.size.v;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* out = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const int a = mask ? mask->rowFromTop(y)[x] : 0;  // 255: transparent
            if (std::strcmp(mode, "mask") == 0) {
                out[0] = out[1] = out[2] = static_cast<uint8_t>(255 - a);
                continue;
            }
            pixelRgb(image, x, y, out);
            if (std::strcmp(mode, "plain") == 0 || !mask) continue;
            // Over a checkerboard, so what the mask leaves out shows as such.
            const uint8_t ground = ((x / 8 + y / 8) & 1) ? 96 : 160;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>((out[c] * (255 - a) + ground * a + 127) / 255);
        }
    }
    if (!plat::writePngRgb(path, w, h, rgb.data())) {
        status = fail(path, "cannot be written");
        return false;
    }
    return true;
}

// Opens FILE's casts; on failure reports why.
bool openCasts(KelCasts& casts, const std::string& path, int& status)
{
    std::string kel, problem;
    if (!kelPathOf(path, kel, problem)) {
        status = fail(path, problem);
        return false;
    }
    if (!casts.OpenResFile(kel.c_str())) {
        status = fail(path, "not a resource file or damaged");
        return false;
    }
    casts.ParseResources();
    return true;
}

int cmdCast(const std::string& path, long id, const std::string& out, const char* mode)
{
    KelCasts casts;
    int status = 0;
    if (!openCasts(casts, path, status)) return status;
    KelOneCast* cast = casts.castAt(casts.MPixIDtoIndex(id));
    if (!cast) return fail(path, "no cast " + std::to_string(id));
    cast->LoadAvailable();
    if (!cast->imageLoaded) return fail(path, "cast " + std::to_string(id) + " has no picture that loads");
    if (std::strcmp(mode, "mask") == 0 && !cast->maskLoaded)
        return fail(path, "cast " + std::to_string(id) + " has no mask");
    return writePicture(out, cast->image, cast->maskLoaded ? &cast->mask : nullptr, mode, status) ? 0
                                                                                                  : status;
}

int cmdLayout(const std::string& path, long id)
{
    KelCasts casts;
    int status = 0;
    if (!openCasts(casts, path, status)) return status;
    const long length = casts.resFile->GetDataLen(kelLayoutType, id);
    if (!casts.resFile->IsDataAvailable(kelLayoutType, id))
        return fail(path, "no layout " + std::to_string(id));
    std::vector<uint8_t> payload(static_cast<size_t>(std::max(length, 1L)));
    kelLayoutData data;
    if (!casts.resFile->LoadData(reinterpret_cast<char*>(payload.data()), length, kelLayoutType, id) ||
        !kelLayoutRead(payload.data(), static_cast<int32_t>(length), data))
        return fail(path,
                    "layout " + std::to_string(id) + " is damaged (" + std::to_string(length) + " bytes)");
    const std::map<int32_t, std::string> names = castNames(*casts.resFile);
    const std::string text = kelLayoutToText(static_cast<int32_t>(id), data, [&](int32_t castID) {
        const auto it = names.find(castID);
        return it == names.end() ? std::string() : it->second;
    });
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// The picture an item shows when its panel first appears.
int16_t shownIndex(const KelLayout& layout, int16_t item)
{
    const int16_t kind = layout.itemAuxVal(item, kKelAuxKind);
    if (kind == 19) return -1;  // the background: by colour scheme
    const bool startsAtOne = (kind >= 30 && kind <= 39) || kind == 90 || kind == 230 || kind == 232;
    return startsAtOne && layout.work[item].castIndex[1] >= 0 ? 1 : 0;
}

int cmdRender(const std::string& path, long id, const std::string& out, int16_t scheme, int x, int y)
{
    KelCasts casts;
    int status = 0;
    if (!openCasts(casts, path, status)) return status;
    KelLayout layout;
    layout.Set(&casts, id);
    if (layout.itemsCount == 0 && !casts.resFile->IsDataAvailable(kelLayoutType, id))
        return fail(path, "no layout " + std::to_string(id));
    layout.Load();
    layout.bounds = kelRect(x, y, x + 640, y + 480);
    layout.RecalcAll();
    kelOffmap stage;
    stage.allocate(kelDepth16, 640, 480, -1);
    for (int16_t i = 0; i < layout.itemsCount; ++i) {
        if (layout.data.items[i].state == 0) continue;
        const kelOffmap* image = nullptr;
        const kelOffmap* mask = nullptr;
        const int16_t index = shownIndex(layout, i);
        if (index < 0) {
            KelOneCast* cast =
                casts.castAt(casts.MPixIDtoIndex(layout.itemAuxVal(i, static_cast<int16_t>(scheme + 1))));
            if (cast) cast->LoadAvailable();
            if (cast && cast->imageLoaded) {
                image = &cast->image;
                mask = cast->maskLoaded ? &cast->mask : nullptr;
            }
        } else {
            image = layout.GetItemImage(i, index);
            mask = layout.GetItemMask(i, index);
        }
        if (!image) {
            // Drawn at run time (texts, meters): its frame, dimly.
            const kelRect& f = layout.work[i].frame;
            const int16_t dim = 0x294A;
            stage.line(f.left, f.top, f.right - 1, f.top, dim);
            stage.line(f.right - 1, f.top, f.right - 1, f.bottom - 1, dim);
            stage.line(f.right - 1, f.bottom - 1, f.left, f.bottom - 1, dim);
            stage.line(f.left, f.bottom - 1, f.left, f.top, dim);
            continue;
        }
        kelRect dest = image->bounds;
        dest.offset(layout.work[i].imageRect.left, layout.work[i].imageRect.top);
        if (mask)
            stage.copyMask(image, &image->bounds, mask, &mask->bounds, &dest);
        else if (image->depthIndex == kelDepth16)
            stage.copy(image, &image->bounds, &dest);
    }
    return writePicture(out, stage, nullptr, "plain", status) ? 0 : status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage(nullptr);
    // Casts that do not load are reported here, not in boxes.
    kelDebugFlag = 0;
    const std::string command = argv[1];
    const int args = argc - 2;
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    long type = 0, id = 0;
    if (command == "list") {
        if (args != 1) return usage("list takes FILE");
        return cmdList(argv[2]);
    }
    if (command == "text") {
        if (args != 2) return usage("text takes FILE ID");
        if (!parseID(argv[3], id)) return usage("ID must be a decimal number");
        return cmdText(argv[2], id);
    }
    if (command == "extract" || command == "put") {
        if (args != 4)
            return usage((command + " takes FILE TYPE ID " + (command == "put" ? "IN" : "OUT")).c_str());
        if (!parseType(argv[3], type))
            return usage("TYPE must be four characters or 0x and eight hex digits");
        if (!parseID(argv[4], id)) return usage("ID must be a decimal number");
        return command == "put" ? cmdPut(argv[2], type, id, argv[5]) : cmdExtract(argv[2], type, id, argv[5]);
    }
    if (command == "cast") {
        if (args != 3 && args != 4) return usage("cast takes FILE ID OUT.png [plain|mask]");
        if (!parseID(argv[3], id)) return usage("ID must be a decimal number");
        const char* mode = args == 4 ? argv[5] : "";
        if (args == 4 && std::strcmp(mode, "plain") != 0 && std::strcmp(mode, "mask") != 0)
            return usage("the last word of cast is plain or mask");
        return cmdCast(argv[2], id, argv[4], mode);
    }
    if (command == "layout") {
        if (args != 2) return usage("layout takes FILE ID");
        if (!parseID(argv[3], id)) return usage("ID must be a decimal number");
        return cmdLayout(argv[2], id);
    }
    if (command == "render") {
        long scheme = 0, x = 0, y = 0;
        if (args != 3 && args != 4 && args != 6) return usage("render takes FILE ID OUT.png [SCHEME [X Y]]");
        if (!parseID(argv[3], id)) return usage("ID must be a decimal number");
        if (args >= 4 && (!parseID(argv[5], scheme) || scheme < 0 || scheme > 9))
            return usage("SCHEME is a number from 0 to 9");
        if (args == 6 &&
            (!parseID(argv[6], x) || !parseID(argv[7], y) || x < -640 || x > 640 || y < -480 || y > 480))
            return usage("X and Y place the layout on the stage");
        return cmdRender(argv[2], id, argv[4], static_cast<int16_t>(scheme), static_cast<int>(x),
                         static_cast<int>(y));
    }
    if (command == "puttext") {
        if (args != 3) return usage("puttext takes FILE ID IN");
        if (!parseID(argv[3], id)) return usage("ID must be a decimal number");
        return cmdPutText(argv[2], id, argv[4]);
    }
    return usage(("unknown command '" + command + "'").c_str());
}
