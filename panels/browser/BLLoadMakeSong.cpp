// The song browser's "New song from loops": a folder chosen in the dialog,
// or files and folders dropped on the window, read behind the progress
// panel and shown in the new-song panel; what the user creates there is
// written behind the progress panel, then shown selected.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/BLInternational.h"
#include "core/kelFiles.h"
#include "library/BLMakeSong.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/browser/BLMakeSongPanel.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"

namespace {

constexpr int16_t kRequestNewSong = 1;

// The progress panel as the making's progress: its bar, and its stop button.
bool tell(double done)
{
    BLProgressPanel* p = BLProgress();
    if (!p) return true;
    p->amount(static_cast<float>(done));
    return !p->shouldStop();
}

}  // namespace

void BLLoadPanel::onItem_newSong()
{
    if (BLPath::dialogPending()) return;
    newSongPath.set(":");
    newSongPath.chooseFolder = true;
    newSongPath.asyncDialogGet(kPWLoadPanel, kRequestNewSong, 0);
}

void BLLoadPanel::asyncDialogMessage(BLPath* path)
{
    if (path != &newSongPath || !path->dialogOk) return;
    char system[kKelSystemPathMax + 1];
    if (newSongPath.toSystemPath(system)) makeSongFrom({system});
}

void BLLoadPanel::makeSongFrom(const std::vector<std::string>& paths)
{
    stopAudition();
    BLProgressPanel* progress = BLProgress();
    if (progress) {
        progress->show();
        progress->setStopMode(true);
        progress->message(kMsgReadingLoops);
    }
    BLSongPlan plan = BLMakeSong_Plan(paths, "", 0, tell);
    if (progress) progress->hide();
    // A tempo out of reach can still be changed in the panel.
    if (plan.usable() == 0 || plan.why.message == kBLMsgPlanStopped) {
        BL_NotifyNames(kMsgNoSongMade, 0, {BLMakeSong_Says(plan.why)});
        return;
    }
    BLMakeSongPanel* panel = BLMakeSongPanel_Get();
    if (!panel) return;
    panel->open(std::move(plan), [this](const BLSongPlan& chosen) { writeSong(chosen); });
}

void BLLoadPanel::writeSong(const BLSongPlan& plan)
{
    // The song goes into the home library, which the list then shows.
    if (!home) setHome();
    char songs[kKelSystemPathMax + 1];
    if (!KEL_KelPathToSystemPath(listFolder, songs)) return;
    BLProgressPanel* progress = BLProgress();
    if (progress) {
        progress->show();
        progress->setStopMode(true);
        progress->message(kMsgMakingSong);
    }
    const BLMakeSongResult made = BLMakeSong_Write(plan, songs, tell);
    if (progress) progress->hide();
    if (made.stopped) return;
    if (!made.made) {
        BL_NotifyNames(kMsgNoSongMade, 0, {made.problem});
        return;
    }
    homeCacheValid = 0;
    scanFolder();
    const std::string folder = made.folder.substr(made.folder.rfind('/') + 1);
    for (int16_t i = 0; i < page.count; ++i)
        if (folder == entries[i].folder) {
            page.moveSelection(static_cast<int16_t>(page.selection - i));
            break;
        }
    refreshList();
    refreshInfo();
    setStatus(blIntl.messageWithNames(kMsgSongMade, {folder}).c_str());
}
