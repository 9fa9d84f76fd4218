#include "core/BLPath.h"

#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Platform.h"

namespace {

// The one dialog that may run at a time, and the number that tells its
// thread whether the BLPath that asked is still waiting for it.
std::mutex gDialogMutex;
BLPath* asyncPanThreadPathRef = nullptr;
uint64_t gDialogSerial = 0;
// A result posted to the main loop and not taken yet: no other dialog may
// start (on the same path it would write what the main thread reads).
BLPath* gUndelivered = nullptr;

}  // namespace

BLPath::~BLPath()
{
    // A path that goes away while its dialog is open abandons the dialog: the
    // thread finds the slot taken by nobody (or by a later dialog) and hands
    // its result to no one.
    abandonDialog();
}

void BLPath::dialogDelivered(const BLPath* path)
{
    std::lock_guard<std::mutex> lock(gDialogMutex);
    if (gUndelivered == path) gUndelivered = nullptr;
}

bool BLPath::asyncDialogGet(int16_t panel, int16_t code, int16_t sub)
{
    return startDialog(false, panel, code, sub);
}

bool BLPath::asyncDialogPut(int16_t panel, int16_t code, int16_t sub)
{
    return startDialog(true, panel, code, sub);
}

bool BLPath::dialogPending()
{
    std::lock_guard<std::mutex> lock(gDialogMutex);
    return asyncPanThreadPathRef != nullptr || gUndelivered != nullptr;
}

bool BLPath::startDialog(bool save, int16_t panel, int16_t code, int16_t sub)
{
    // The dialog works on a copy; the result is handed over at the end.
    const kelPath start(*this);
    return startDialogThread(panel, code, sub, [this, save, start]() -> std::function<void()> {
        kelPath work(start);
        const bool ok = save ? work.userDialogPut() : work.userDialogGet();
        return [this, ok, work] {
            if (ok) set(&work);
            dialogOk = ok ? 1 : 0;
        };
    });
}

void BLPath::abandonDialog()
{
    std::lock_guard<std::mutex> lock(gDialogMutex);
    if (asyncPanThreadPathRef == this) asyncPanThreadPathRef = nullptr;
    if (gUndelivered == this) gUndelivered = nullptr;
}

bool BLPath::startDialogThread(int16_t panel, int16_t code, int16_t sub, DialogWork work)
{
    if (!plat::hasBackend()) return false;
    uint64_t serial;
    {
        std::lock_guard<std::mutex> lock(gDialogMutex);
        if (asyncPanThreadPathRef || gUndelivered) return false;
        asyncPanThreadPathRef = this;
        serial = ++gDialogSerial;
    }
    // Recorded only once the dialog is ours: a refused request must not
    // relabel the one that is running.
    panelIndex = panel;
    requestCode = code;
    requestSub = sub;
    try {
        std::thread([this, serial, work = std::move(work)] {
            const std::function<void()> result = work();
            std::lock_guard<std::mutex> lock(gDialogMutex);
            if (asyncPanThreadPathRef != this || gDialogSerial != serial) return;  // abandoned
            result();
            // From here on the object belongs to the main thread, and the next
            // dialog waits until the main loop has taken this one's result.
            asyncPanThreadPathRef = nullptr;
            if (!plat::hasBackend()) return;
            gUndelivered = this;
            plat::backend().postDialogDone(this);
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(gDialogMutex);
        asyncPanThreadPathRef = nullptr;
        return false;
    }
    return true;
}
