// The information panel: Beatloom's name and version, the song library in
// figures (counted while the panel shows, a few files each idle pass), the
// main keys and the libraries the program is built with, with their
// licences, and the sound output. Opened by the groove panel's About button (and the command
// 128/1); modal while shown; Esc or its close button hides it.
#pragma once

#include <cstdint>

#include "library/BLLibraryFigures.h"
#include "ui/PWPanel.h"

class BLInfoPanel : public PWPanelClass {
public:
    enum : int16_t {
        kItemClose = 1,
        kItemVersion = 4,
        kItemTagline = 5,
        kItemFirstFigureName = 6,
        kItemFirstFigure = 11,
        kItemFirstKey = 16,
        kItemFirstLibrary = 21,
        kItemSound = 32,
    };
    static constexpr int16_t kFigures = 5;
    static constexpr int16_t kKeys = 5;
    static constexpr int16_t kLibraries = 8;
    // Files looked at in one idle pass.
    static constexpr int kFilesPerPass = 48;

    BLInfoPanel() { modal = 1; }

    void connected() override;
    void beforeShow() override;
    void afterHide() override;
    void onItem() override;
    void onIdle() override;

    // The figures' texts: "6", "23.5 MB" ... (the decimal mark and units of
    // the language).
    static void formatBytes(int64_t bytes, char* out, size_t size);

    BLLibraryFigures figures;
    // The library counted (tests point it elsewhere).
    const char* libraryFolder = ":Library:";

private:
    void setText(int16_t item, const char* text);
    void showFigures();

    bool counting_ = false;
};
