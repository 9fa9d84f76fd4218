#include "core/kelDisksList.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/PlatDialogs.h"

namespace fs = std::filesystem;

struct kelDisksList::Work {
    char root[kKelSystemPathMax + 1] = {};  // system root of the current volume, "" when none
    std::vector<std::string> drives;        // volume roots, "/" or without a final '/'
    int16_t diskIndex = -1;
};

namespace {

std::vector<std::string> gTestRoots;

std::string userName()
{
    if (const char* user = std::getenv("USER"); user && *user) return user;
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
    return "";
}

// A root the kel form can name and the system-path buffer can hold.
bool usableRoot(const std::string& root)
{
    return !root.empty() && root.find(':') == std::string::npos &&
           root.size() < static_cast<size_t>(kKelSystemPathMax);
}

// The folders directly below `base` that are mount points, by name.
void addMountedBelow(const std::string& base, std::vector<std::string>& roots)
{
    struct stat baseStat;
    if (::stat(base.c_str(), &baseStat) != 0 || !S_ISDIR(baseStat.st_mode)) return;
    std::vector<std::string> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        struct stat st;
        const std::string folder = entry.path().string();
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (st.st_dev == baseStat.st_dev) continue;  // an empty folder, nothing mounted
        found.push_back(folder);
    }
    std::sort(found.begin(), found.end());
    roots.insert(roots.end(), found.begin(), found.end());
}

std::string withoutFinalSlash(std::string root)
{
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

// The mount table escapes blanks and the like as \ooo.
std::string unescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        auto octal = [&](size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

kelDisksList::kelDisksList() : work_(std::make_unique<Work>()) {}

kelDisksList::~kelDisksList() = default;

void kelDisksList::setVolumeRoots(const std::vector<std::string>& roots)
{
    gTestRoots = roots;
}

std::vector<std::string> kelDisksList::volumeRoots()
{
    std::vector<std::string> roots;
    if (!gTestRoots.empty()) {
        for (const std::string& r : gTestRoots) {
            std::error_code ec;
            const fs::path absolute = fs::absolute(r, ec);
            const std::string root = withoutFinalSlash(ec ? r : absolute.lexically_normal().string());
            struct stat st;
            const bool folder = ::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (folder && usableRoot(root)) roots.push_back(root);
        }
        return roots;
    }
    roots.push_back("/");
    const std::string user = userName();
    if (!user.empty()) {
        addMountedBelow("/media/" + user, roots);
        addMountedBelow("/run/media/" + user, roots);
    }
    addMountedBelow("/mnt", roots);
    roots.erase(
        std::remove_if(roots.begin(), roots.end(), [](const std::string& r) { return !usableRoot(r); }),
        roots.end());
    return roots;
}

bool kelDisksList::isRemovableRoot(const std::string& root)
{
    return root.rfind("/media/", 0) == 0 || root.rfind("/run/media/", 0) == 0;
}

std::string kelDisksList::deviceOfMount(const std::string& mountsText, const std::string& mountPoint)
{
    const std::string wanted = withoutFinalSlash(mountPoint);
    std::istringstream lines(mountsText);
    std::string line, device;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string dev, where;
        if (!(fields >> dev >> where)) continue;
        // A later line mounts over an earlier one at the same place.
        if (unescapeMountField(where) == wanted) device = unescapeMountField(dev);
    }
    return device;
}

bool kelDisksList::start()
{
    work_->diskIndex = -1;
    work_->root[0] = '\0';
    path.reset();
    work_->drives = volumeRoots();
    return !work_->drives.empty();
}

bool kelDisksList::next(char* name)
{
    Work& w = *work_;
    if (w.diskIndex < INT16_MAX) ++w.diskIndex;
    if (w.diskIndex < 0 || static_cast<size_t>(w.diskIndex) >= w.drives.size()) {
        w.root[0] = '\0';
        path.reset();
        if (name) name[0] = '\0';
        return false;
    }
    const std::string& drive = w.drives[static_cast<size_t>(w.diskIndex)];
    KEL_CopyCut(w.root, sizeof w.root, drive == "/" ? "/" : (drive + "/").c_str());
    if (drive == "/")
        path.set(":");
    else
        path.fromSystemPath(drive.c_str());
    if (name) KEL_CopyCut(name, kKelNameMax + 1, path.path);
    return true;
}

bool kelDisksList::set(int16_t i)
{
    start();
    while (work_->diskIndex < i)
        if (!next()) return false;
    return true;
}

bool kelDisksList::loop(char* name)
{
    if (next(name)) return true;
    start();
    return next(name);
}

int16_t kelDisksList::get()
{
    return work_->root[0] ? work_->diskIndex : -1;
}

bool kelDisksList::get(char* out)
{
    if (out) KEL_CopyCut(out, kKelSystemPathMax + 1, work_->root);
    return work_->root[0] != '\0';
}

bool kelDisksList::getExtended(char* out)
{
    const std::string root = withoutFinalSlash(work_->root);
    const size_t slash = root.rfind('/');
    if (root.size() <= 1 || slash == std::string::npos) return get(out);
    if (out) KEL_CopyCut(out, kKelNameMax + 1, root.c_str() + slash + 1);
    return true;
}

long kelDisksList::freeSpace()
{
    struct statvfs vfs;
    if (!work_->root[0] || ::statvfs(work_->root, &vfs) != 0) return 0;
    const unsigned long long bytes = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
    return bytes > INT32_MAX ? INT32_MAX : static_cast<long>(bytes);
}

bool kelDisksList::ejectable()
{
    return work_->root[0] && isRemovableRoot(work_->root);
}

bool kelDisksList::eject()
{
    if (!ejectable() || !plat::programExists("udisksctl")) return false;
    std::ifstream in("/proc/self/mounts");
    std::stringstream text;
    text << in.rdbuf();
    const std::string device = deviceOfMount(text.str(), work_->root);
    if (device.rfind("/dev/", 0) != 0) return false;
    int status = -1;
    std::string said;  // its reports are for a terminal, not for us
    if (!plat::runProgram("udisksctl", {"unmount", "-b", device}, &said, &status) || status != 0)
        return false;
    // Powering the drive off is a courtesy: some drives cannot, and the volume is safe already.
    plat::runProgram("udisksctl", {"power-off", "-b", device}, &said, &status);
    return true;
}

bool kelDisksList::isBoot()
{
    return std::strcmp(work_->root, "/") == 0;
}
