// The path of a document a panel opens or saves, with the open and save
// dialogs run on a thread of their own so that playback and the display go on.
#pragma once

#include <cstdint>
#include <functional>

#include "core/kelPath.h"

class BLPath : public kelPath {
public:
    BLPath() = default;
    explicit BLPath(const char* text) : kelPath(text) {}
    ~BLPath() override;

    // Starts the open (or save) dialog and returns at once. False, with
    // nothing changed, while another dialog is pending or when the thread
    // cannot start. When the dialog ends, `dialogOk` and (if confirmed) the
    // path are set and the main loop receives this BLPath as a finished
    // dialog. The main thread must not touch the object until that message
    // arrives; destroying it before then abandons the dialog's result.
    virtual bool asyncDialogGet(int16_t panelIndex, int16_t requestCode, int16_t requestSub);
    virtual bool asyncDialogPut(int16_t panelIndex, int16_t requestCode, int16_t requestSub);

    // Whether a dialog is running, or its result has not been taken by the
    // main loop yet.
    static bool dialogPending();
    // The main loop took the result of `path`'s dialog.
    static void dialogDelivered(const BLPath* path);

    int16_t panelIndex = 0;
    int16_t requestCode = 0;
    int16_t requestSub = 0;
    uint8_t dialogOk = 0;

protected:
    // Runs `work` on a thread of its own, one dialog at a time. What it
    // returns is applied to this object on that thread under the dialogs'
    // lock, unless the object was abandoned meanwhile; then the main loop
    // receives the object as a finished dialog.
    using DialogWork = std::function<std::function<void()>()>;
    bool startDialogThread(int16_t panelIndex, int16_t requestCode, int16_t requestSub, DialogWork work);
    // A derived class's destructor calls it first: its members go before ours.
    void abandonDialog();

private:
    bool startDialog(bool save, int16_t panel, int16_t code, int16_t sub);
};
