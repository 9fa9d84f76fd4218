// A line of text asked of the person (a take's new name) on a thread of its
// own, so that playback, MIDI and the link go on while they type. It takes
// the file dialogs' route: one dialog at a time, its answer handed to the
// panel that asked through the main loop, as a finished BLPath.
#pragma once

#include <string>

#include "core/BLPath.h"
#include "platform/Platform.h"

class BLTextEntry : public BLPath {
public:
    BLTextEntry() = default;
    ~BLTextEntry() override;

    // False, nothing changed, while another dialog is pending. When the
    // person confirms, `dialogOk` is set and `text` holds what they typed
    // (UTF-8, as typed); `unavailable` when no program could ask.
    bool asyncEntry(int16_t panelIndex, int16_t requestCode, int16_t requestSub,
                    const plat::TextEntryRequest& request);

    std::string text;
    bool unavailable = false;
};
