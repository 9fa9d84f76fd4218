#include "panels/help/BLGuide.h"

#include <filesystem>
#include <system_error>

#include "core/BLInternational.h"
#include "platform/Platform.h"

namespace {
constexpr char kGuideFile[] = "UserGuide.html";
constexpr int16_t kMsgNoGuide = 72;
constexpr int16_t kMsgNoBrowser = 73;
}  // namespace

void BL_OpenGuide()
{
    std::error_code ec;
    const std::filesystem::path guide = std::filesystem::absolute(kGuideFile, ec);
    if (ec || !std::filesystem::is_regular_file(guide, ec)) {
        BL_Notify(kMsgNoGuide, 0);
        return;
    }
    if (!plat::hasBackend() || !plat::backend().openAddress("file://" + guide.string()))
        BL_Notify(kMsgNoBrowser, 0);
}
