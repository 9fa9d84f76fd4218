#include "panels/startup/PWmain.h"

#include <unistd.h>

#include <cstring>

#include "audio/BLEngine.h"
#include "audio/LaunchGrid.h"
#include "control/BLGrooveController.h"
#include "control/BLMidi.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/BLWriteReason.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelLayouts.h"
#include "core/kelQt.h"
#include "core/kelRes.h"
#include "library/BLprefs.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/browser/BLMakeSongPanel.h"
#include "panels/effects/BLEffectsPanel.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLHelps.h"
#include "panels/help/BLInfoPanel.h"
#include "panels/help/BLPopupInfo.h"
#include "panels/network/BLNetLink.h"
#include "panels/prefs/BLPrefsPanel.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/BLBoxPanel.h"
#include "panels/startup/PWDemo.h"
#include "panels/startup/PWPlaceholderPanel.h"
#include "panels/startup/PWShots.h"
#include "panels/synth/BLLoadSynthPanel.h"
#include "panels/synth/BLSynthPanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "panels/vmix/BLRandMixPanel.h"
#include "panels/vmix/BLVMixPanel.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

namespace {

using Close = PWPlaceholderPanel::CloseAction;

struct PanelEntry {
    const char* className;
    int16_t layouts[3];  // main, second, third; -1 none
    // Where the screen places it and how it treats it.
    int16_t flag, x, y;
    uint8_t draggable;
    int16_t animate;
    // Until its own class arrives: the item that closes it.
    int16_t closeItem;
    Close closeAction;
};

// The panels in index order. A panel whose class exists is created in
// createPanel(); the others show their layouts as placeholders.
constexpr PanelEntry kPanels[kPanelSlots] = {
    {"BLGroovePanel", {1, 2, 8}, 0, 0, 0, 0, 0, 1, Close::Quit},
    {"BLVMixPanel", {5, -1, -1}, 1, 0, 0, 0, 0, 1, Close::Hide},
    {"BLSynthPanel", {3, 4, -1}, 1, 100, 100, 1, 0, 1, Close::Hide},
    {"BLNetPanel", {9, 19, -1}, 1, 100, 200, 1, 0, 11, Close::Hide},
    {"BLLoopTunerPanel", {14, -1, -1}, 1, 100, 100, 1, 0, 1, Close::Hide},
    {"BLRandMixPanel", {11, -1, -1}, 1, 100, 100, 1, 0, 1, Close::Hide},
    {"BLLoadPanel", {6, -1, -1}, 1, 0, 0, 1, 0, 1, Close::Hide},
    {"BLLoadSynthPanel", {12, -1, -1}, 1, 100, 100, 1, 0, 1, Close::Hide},
    {"BLPrefsPanel", {13, 18, 20}, 1, 100, 100, 1, 0, 1, Close::Hide},
    {"BLInfoPanel", {15, -1, -1}, 0, 0, 0, 0, 0, 1, Close::Hide},
    {"BLProgressPanel", {16, -1, -1}, 0, 120, 100, 0, 0, -1, Close::None},
    {"BLMakeSongPanel", {17, -1, -1}, 1, 20, 30, 0, 0, 1, Close::Hide},
    {"BLEffectsPanel", {22, -1, -1}, 1, 100, 80, 1, 0, 1, Close::Hide},
};

PWPanelClass* createPanel(const PanelEntry& entry)
{
    if (std::strcmp(entry.className, "BLGroovePanel") == 0) return new BLGroovePanel(*blGroove);
    if (std::strcmp(entry.className, "BLLoadPanel") == 0) return new BLLoadPanel;
    if (std::strcmp(entry.className, "BLMakeSongPanel") == 0) return new BLMakeSongPanel;
    if (std::strcmp(entry.className, "BLProgressPanel") == 0) return new BLProgressPanel;
    if (std::strcmp(entry.className, "BLPrefsPanel") == 0) return new BLPrefsPanel;
    if (std::strcmp(entry.className, "BLSynthPanel") == 0) return new BLSynthPanel;
    if (std::strcmp(entry.className, "BLLoadSynthPanel") == 0) return new BLLoadSynthPanel;
    if (std::strcmp(entry.className, "BLVMixPanel") == 0) return new BLVMixPanel;
    if (std::strcmp(entry.className, "BLRandMixPanel") == 0) return new BLRandMixPanel;
    if (std::strcmp(entry.className, "BLInfoPanel") == 0) return new BLInfoPanel;
    if (std::strcmp(entry.className, "BLLoopTunerPanel") == 0) return new BLLoopTunerPanel;
    if (std::strcmp(entry.className, "BLNetPanel") == 0) return BL_NewNetPanel();
    if (std::strcmp(entry.className, "BLEffectsPanel") == 0) return new BLEffectsPanel(*blGroove);
    return new PWPlaceholderPanel(entry.className, entry.closeItem, entry.closeAction);
}

void loadPreferences()
{
    blPrefs.load();
}
// The window's place and the stage's size as they are at the end, for the next start.
void savePreferences()
{
    int16_t r[4];
    if (KEL_GetWindowRect(r)) blPrefs.mainWindow = kelRect(r[0], r[1], r[2], r[3]);
    blPrefs.stageSize = KEL_StageSize();
    // No box at the end: said where the program's words go.
    plat::clearWriteError();
    if (!blPrefs.save())
        plat::logLine("the preferences cannot be saved: " + BL_WriteReasonText(plat::lastWriteError()));
}
int16_t preferredColourScheme()
{
    return blPrefs.interfaceColor;
}

// Makes the folder that holds the program file the current folder, through
// the kel form as every other path.
void preopenApplication()
{
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(PWprogramFile, kel, sizeof kel)) return;
    if (char* colon = std::strrchr(kel, ':')) colon[1] = '\0';
    char system[sizeof PWprogramFile];
    if (KEL_KelPathToSystemPath(kel, system, sizeof system) && system[0] && chdir(system) != 0)
        plat::logLine(std::string("cannot enter the program folder ") + system);
}

// The picture holding every glyph of the skin font.
constexpr int32_t kFontCast = 500;

bool openResourceFile()
{
    PWresfileobj.SetWorkName("Beatloom.xrs");
    PWresfileobj.openReadOnly = 1;
    const bool opened = PWresfileobj.Open();
    // Opening is not enough: what start-up cannot do without (the font, the
    // groove panel's and the browser's layouts) must be in it.
    if (opened && PWresfileobj.IsDataAvailable(kelCastHeaderType, kFontCast) &&
        PWresfileobj.IsDataAvailable(kelLayoutType, 1) && PWresfileobj.IsDataAvailable(kelLayoutType, 6))
        return true;
    if (!opened && !PWresfileobj.IsDamaged() && !KEL_FileExists("Beatloom.xrs")) {
        KEL_UserNotify("Can't find 'Beatloom.xrs' file. Can't continue.", 0);
        winmainreturnvalue = 0;
        return false;
    }
    const bool damaged = opened || PWresfileobj.IsDamaged();
    if (opened) PWresfileobj.Close();
    KEL_UserNotify(damaged ? "The file 'Beatloom.xrs' is damaged. Can't continue."
                           : "Can't read 'Beatloom.xrs' file. Can't continue.",
                   0);
    winmainreturnvalue = 1;
    return false;
}

void createLibraryFolders()
{
    for (const char* folder :
         {":Library:", ":Library:Song:", ":Library:Images:", ":Library:Synth:", ":Library:Bls:"})
        KEL_CreateDirectory(folder);
}

void createPanels()
{
    for (int i = 0; i < kPanelSlots; ++i) {
        const PanelEntry& entry = kPanels[i];
        PWfloatPanelPtr[i] = createPanel(entry);
        PWfloatPanelPtr[i]->attachLayouts(entry.layouts[0], entry.layouts[1], entry.layouts[2], &PWCasts,
                                          &PWScreen.stage);
    }
}

void connectPanels()
{
    for (int16_t i = 0; i < kPanelSlots; ++i) {
        const PanelEntry& entry = kPanels[i];
        PWScreen.connect(PWfloatPanelPtr[i], i, entry.flag);
        PWScreen.setProps(i, entry.x, entry.y, entry.draggable, entry.animate);
    }
}

}  // namespace

int16_t PW_InitAll()
{
    preopenApplication();
    KEL_StartWriting();
    if (!openResourceFile()) return 0;
    PWCasts.resFile = &PWresfileobj;
    PWCasts.ParseResources();
    blIntl.start(&PWresfileobj);
    BL_PopupInfo_Open(&PWCasts);
    createLibraryFolders();
    kelGlo.screenWidth = 640;
    kelGlo.screenHeight = 480;
    kelQt_Init();
    PWFont.setup(&PWCasts, kFontCast);
    PWFont.colorize(256, 256, 0);
    PWScreen.setup();
    // Boxes are drawn in the skin from here on, once the window shows.
    KEL_SetBoxHook(BL_ShowBox);
    blPlayer = new BLPlayer;
    blGroove = new BLGrooveController;
    blHelpp = new BLHelps;
    blHelpp->init(&PWCasts, blIntl.textSet);
    PWScreen.help = blHelpp;
    createPanels();
    loadPreferences();
    gep = new BLEngine;
    gep->init();
    gep->setKeyLock(blPrefs.keyLock != 0);
    gep->setLaunchGrid(LaunchGridBeatsOf(LaunchGridFromCode(blPrefs.launchGrid)));
    gep->setOutput(blPrefs.outputCard, blPrefs.outputFrames);
    blMidi = new BLMidi;
    blMidi->apply(blPrefs);
    blPlayer->setClock(blMidi);
    connectPanels();
    // Controllers: the program goes on without a MIDI system.
    blGroove->midiOpen();
    blGroove->oscOpen();
    PWScreen.show(kPWLoadPanel);
    BL_PopupInfo_Close();
    PWScreen.changeAllColors(preferredColourScheme());
    KEL_SetStageSize(blPrefs.stageSize);
    PWScreen.openWindow(&blPrefs.mainWindow);
    kelQt_associateFrontWindow();
    PWScreen.drawable = 1;
    PWScreen.setPanelPositionCentered(kPWLoadPanel);
    const kelRect whole(0, 0, kelGlo.screenWidth, kelGlo.screenHeight);
    PWScreen.update(&whole);
    // Work left by an instance that ended before it was saved, then a
    // document named on the command line (a demonstration asks nothing).
    if (!PWDemo_Armed() && !PWShots_Armed()) blGroove->offerRecovery();
    PWScreen.processOpenDocuments();
    return 1;
}

void PW_ExitAll()
{
    kelQt_deassociateWindow();
    // Unsaved work survives an end by a signal in the recovery file; a clean
    // end leaves none behind.
    if (blGroove) blGroove->recoveryAtExit(KEL_TerminateRequested());
    savePreferences();
    if (blPlayer) blPlayer->setClock(nullptr);
    delete blMidi;
    blMidi = nullptr;
    if (gep) {
        gep->exit();
        delete gep;
        gep = nullptr;
    }
    if (PWfloatPanelPtr[kPWGroovePanel]) PWfloatPanelPtr[kPWGroovePanel]->onPanelClosed();
    for (auto& p : PWfloatPanelPtr) {
        delete p;
        p = nullptr;
    }
    delete blGroove;
    PWScreen.help = nullptr;
    delete blHelpp;
    blHelpp = nullptr;
    delete blPlayer;
    blPlayer = nullptr;
    KEL_SetBoxHook(nullptr);
    PWFont.reset();
    PWCasts.UnloadResources();
    PWScreen.closeWindow();
    PWScreen.reset();
    PWresfileobj.Close();
    kelQt_Exit();
}

KelAppHooks PW_AppHooks()
{
    KelAppHooks hooks;
    hooks.initAll = PW_InitAll;
    hooks.exitAll = PW_ExitAll;
    hooks.remoteEvents = [](uintptr_t message) {
        PWScreen_remoteevents(message);
        if (message == 0 && PWDemo_Armed()) PWDemo_Idle();
        if (message == 0 && PWShots_Armed()) PWShots_Idle();
    };
    // Loops dropped on the window become a song, in the song browser.
    hooks.dropped = [](const std::vector<std::string>& paths) {
        auto* browser = dynamic_cast<BLLoadPanel*>(PWScreen.panel(kPWLoadPanel));
        if (!browser || (PWScreen.modalPanel >= 0 && PWScreen.modalPanel != kPWLoadPanel)) return;
        if (!PWScreen.isVisible(kPWLoadPanel)) PWScreen.show(kPWLoadPanel);
        browser->makeSongFrom(paths);
    };
    hooks.userAction = [](bool begin) {
        if (!blGroove) return;
        if (begin)
            blGroove->actionBegins();
        else
            blGroove->actionEnds();
    };
    hooks.serve = [] {
        if (blGroove) blGroove->serve();
    };
    return hooks;
}
