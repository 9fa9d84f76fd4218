#include "core/kelPath.h"

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>

#include "platform/PlatDialogs.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

std::mutex gProblemMutex;
std::string gProblem;              // waiting to be shown
std::set<std::string> gShownOnce;  // problems of the platform, shown once each

void noteProblem(const std::string& text, bool once)
{
    std::lock_guard<std::mutex> lock(gProblemMutex);
    if (once && !gShownOnce.insert(text).second) return;
    gProblem = text;
}

// The last component of a path, a folder path's trailing ':' set aside.
std::string lastComponent(const char* path)
{
    std::string text(path);
    if (!text.empty() && text.back() == ':') text.pop_back();
    const size_t colon = text.rfind(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

bool statOf(const char* path, struct stat& st)
{
    char system[kKelSystemPathMax + 1];
    return KEL_KelPathToSystemPath(path, system) && system[0] != '\0' && ::stat(system, &st) == 0;
}

}  // namespace

void kelPath::reset()
{
    path[0] = '\0';
}

bool kelPath::set(const kelPath* other)
{
    return set(other ? other->path : "");
}

bool kelPath::set(const char* text)
{
    return KEL_File_CopyPath(text, path, sizeof path);
}

bool kelPath::add(const kelPath* other)
{
    return add(other ? other->path : "");
}

bool kelPath::add(const char* text)
{
    return KEL_File_AddToPath(path, text, sizeof path);
}

bool kelPath::set(const kelPath& other)
{
    return set(&other);
}

bool kelPath::add(const kelPath& other)
{
    return add(&other);
}

bool kelPath::userDialogGet()
{
    return runDialog(false);
}

bool kelPath::userDialogPut()
{
    return runDialog(true);
}

bool kelPath::runDialog(bool save)
{
    if (!plat::hasBackend()) return false;
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);

    plat::FileDialogRequest request;
    request.save = save;
    kelPath folder(*this);
    folder.stripName();
    char system[kKelSystemPathMax + 1];
    if (folder.path[0] && folder.toSystemPath(system) && system[0]) {
        // The dialog program may not share our idea of the current folder.
        request.initialFolder = system[0] == '/' ? std::string(system) : (cwd / system).string();
    } else {
        // A path without a folder (a first "Untitled"): where the user keeps documents.
        request.initialFolder = plat::documentsFolder();
    }
    if (save) {
        char name[kKelNameMax + 1];
        getName(name);
        request.initialName = name;
    }
    request.patterns = KEL_FileDialogOpenTypes();
    request.folder = chooseFolder && !save;

    std::string chosen;
    bool ok = plat::backend().fileDialog(request, chosen);
    if (ok) {
        char kel[kKelPathMax + 1];
        // A path the file layer could not hand back to the system is refused here.
        if (KEL_SystemPathToKelPath(chosen.c_str(), kel, sizeof kel) &&
            KEL_KelPathToSystemPath(kel, system)) {
            set(kel);
        } else {
            ok = false;
            noteProblem("Beatloom cannot use the file \"" + chosen +
                            "\": its name holds ':' or its path is longer than 255 characters.",
                        false);
        }
    } else if (const std::string problem = plat::lastDialogProblem(); !problem.empty()) {
        noteProblem(problem, true);
    }

    // Relative kel paths depend on the current folder: put it back if the
    // dialog moved it.
    if (!cwd.empty()) {
        std::error_code now;
        if (fs::current_path(now) != cwd || now) fs::current_path(cwd, ec);
    }
    return ok;
}

std::string kelPath::takeDialogProblem()
{
    std::lock_guard<std::mutex> lock(gProblemMutex);
    return std::exchange(gProblem, std::string());
}

bool kelPath::parent()
{
    return KEL_File_GoParent(path);
}

bool kelPath::toSystemPath(char* out, int outSize)
{
    return KEL_KelPathToSystemPath(path, out, outSize);
}

bool kelPath::fromSystemPath(const char* in)
{
    // A failed conversion leaves the path empty, never the old text.
    return KEL_SystemPathToKelPath(in, path, sizeof path);
}

long kelPath::length()
{
    struct stat st;
    if (!statOf(path, st) || !S_ISREG(st.st_mode)) return 0;
    return st.st_size > INT32_MAX ? INT32_MAX : static_cast<long>(st.st_size);
}

bool kelPath::exists()
{
    return KEL_FileExists(path);
}

bool kelPath::create()
{
    return KEL_CreateDirectory(path);
}

bool kelPath::remove()
{
    return KEL_FileDelete(path);
}

bool kelPath::copyTo(const kelPath* other)
{
    return other && KEL_FileCopy(path, other->path);
}

bool kelPath::rename(const char* newPath)
{
    return newPath && KEL_FileRename(path, newPath);
}

bool kelPath::moveTo(const char*)
{
    return false;
}

bool kelPath::moveTo(const kelPath*)
{
    return false;
}

bool kelPath::isVisible()
{
    const std::string name = lastComponent(path);
    return name.empty() || name[0] != '.';
}

bool kelPath::isFolder()
{
    struct stat st;
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

bool kelPath::isEqual(const kelPath* other)
{
    if (!other) return false;
    const char* a = path;
    const char* b = other->path;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(*a) != lower(*b)) return false;
    return *a == *b;
}

void kelPath::setVisible(uint8_t) {}

bool kelPath::getName(char* out)
{
    return KEL_FileNameFromPath(path, out);
}

bool kelPath::getNameWithoutExtension(char* out)
{
    const bool whole = getName(out);
    if (!out) return false;
    if (char* dot = std::strrchr(out, '.')) *dot = '\0';
    return whole;
}

bool kelPath::parentName(char* out)
{
    return KEL_File_GetParentName(path, out);
}

void kelPath::stripName()
{
    KEL_File_StripFileName(path);
}

bool kelPath::setName(const char* name)
{
    stripName();
    return add(name);
}

bool kelPath::getKind(char*)
{
    return false;
}

bool kelPath::isKind(const char*)
{
    return false;
}

bool kelPath::getKind(uint32_t*)
{
    return false;
}

bool kelPath::isKind(uint32_t)
{
    return false;
}

bool kelPath::isHidden()
{
    return !isVisible();
}

bool kelPath::isDocument()
{
    return !isFolder();
}

void kelPath::stripExtension()
{
    char* dot = std::strrchr(path, '.');
    if (dot && !std::strchr(dot, ':')) *dot = '\0';
}

bool kelPath::setExtension(const char* ext)
{
    if (!ext) ext = "";
    stripExtension();
    bool whole = true;
    if (ext[0] != '.') whole = add(".");
    return add(ext) && whole;
}

void kelPath::userDialogTypes(uint32_t, uint32_t, uint32_t, uint32_t, const char* patterns)
{
    KEL_FileDialogCanOpenTypes(patterns ? patterns : "*.*");
}
