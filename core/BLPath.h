// The path of a document a panel opens or saves, with the open and save
// dialogs run on a thread of their own so that playback and the display go on.
#pragma once

#include <cstdint>

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

private:
    bool startDialog(bool save, int16_t panel, int16_t code, int16_t sub);
};
