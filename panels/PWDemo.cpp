#include "panels/PWDemo.h"

#include <sys/stat.h>

#include <cstdio>

#include "core/kelCore.h"
#include "platform/Platform.h"

namespace {

constexpr uint32_t kShowTicks = 3 * 60;

struct Demo {
    bool armed = false;
    bool started = false;
    uint32_t startTicks = 0;
    std::string folder;
} gDemo;

}  // namespace

bool PWDemo_Arm(const std::string& folder)
{
    if (folder.empty()) return false;
    mkdir(folder.c_str(), 0755);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    gDemo = Demo{true, false, 0, folder};
    return true;
}

bool PWDemo_Armed() { return gDemo.armed; }

void PWDemo_Idle()
{
    if (!gDemo.armed) return;
    if (!gDemo.started) {
        gDemo.started = true;
        gDemo.startTicks = kelGlo.ticks;
        return;
    }
    if (kelGlo.ticks - gDemo.startTicks < kShowTicks) return;
    const std::string screen = gDemo.folder + "/screen.png";
    if (plat::backend().saveScreenPng(screen))
        std::printf("Saved what Beatloom showed: %s\n", screen.c_str());
    else
        plat::logLine("could not save " + screen);
    std::fflush(stdout);
    gDemo.armed = false;
    KEL_RequestTerminate();
}
