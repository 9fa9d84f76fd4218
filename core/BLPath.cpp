#include "core/BLPath.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "platform/Platform.h"

namespace {

// The one dialog that may run at a time.
std::atomic<BLPath*> asyncPanThreadPathRef{nullptr};

}  // namespace

bool BLPath::asyncDialogGet(int16_t panel, int16_t code, int16_t sub) { return startDialog(false, panel, code, sub); }

bool BLPath::asyncDialogPut(int16_t panel, int16_t code, int16_t sub) { return startDialog(true, panel, code, sub); }

bool BLPath::dialogPending() { return asyncPanThreadPathRef.load() != nullptr; }

bool BLPath::startDialog(bool save, int16_t panel, int16_t code, int16_t sub)
{
    if (!plat::hasBackend()) return false;
    BLPath* none = nullptr;
    if (!asyncPanThreadPathRef.compare_exchange_strong(none, this)) return false;
    // Recorded only once the dialog is ours: a refused request must not
    // relabel the one that is running.
    panelIndex = panel;
    requestCode = code;
    requestSub = sub;
    try {
        std::thread([this, save] {
            const bool ok = save ? userDialogPut() : userDialogGet();
            dialogOk = ok ? 1 : 0;
            plat::backend().postDialogDone(this);
            // From here on the object belongs to the main thread again.
            asyncPanThreadPathRef.store(nullptr);
        }).detach();
    } catch (const std::system_error&) {
        asyncPanThreadPathRef.store(nullptr);
        return false;
    }
    return true;
}
