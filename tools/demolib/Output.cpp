#include "tools/demolib/Output.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace demolib {

LibraryFiles::LibraryFiles(const std::string& root)
{
    std::error_code ec;
    root_ = fs::absolute(root, ec).lexically_normal().string();
    if (!root_.empty() && root_.back() == '/') root_.pop_back();
}

std::string LibraryFiles::prepare(const std::string& path)
{
    const fs::path full = fs::path(root_) / path;
    std::error_code ec;
    fs::create_directories(full.parent_path(), ec);
    return full.string();
}

void LibraryFiles::wrote(const std::string& full, bool success)
{
    if (!success) {
        std::fprintf(stderr, "demolib: cannot write %s\n", full.c_str());
        ok_ = false;
        return;
    }
    written_.insert(full);
    std::error_code ec;
    const auto size = fs::file_size(full, ec);
    if (!ec) bytes_ += size;
}

bool LibraryFiles::wave(const std::string& path, const std::vector<int16_t>& samples, int channels)
{
    const std::string full = prepare(path);
    const bool success = writeWaveFile(full, samples, channels);
    wrote(full, success);
    return success;
}

bool LibraryFiles::description(const std::string& path, const std::vector<std::string>& lines, uint32_t seed)
{
    const std::string full = prepare(path);
    const bool success = writeDescriptionFile(full, lines, seed);
    wrote(full, success);
    return success;
}

bool LibraryFiles::picture(const std::string& path, const Picture& picture)
{
    const std::string full = prepare(path);
    const bool success = writeGifFile(full, picture);
    wrote(full, success);
    return success;
}

void LibraryFiles::prune(const std::string& folder)
{
    const fs::path dir = fs::path(root_) / folder;
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && !written_.count(e.path().string())) stale.push_back(e.path());
    for (const fs::path& p : stale) fs::remove(p, ec);
}

}  // namespace demolib
