#include "panels/PWmain.h"

#include <unistd.h>

#include <cstring>

#include "core/BLInternational.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelRes.h"
#include "panels/PWDemo.h"
#include "platform/Platform.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

PWPanelClass* PWfloatPanelPtr[kPanelSlots] = {};
KelResFile PWresfileobj;
char PWprogramFile[4096] = {};

namespace {

struct PanelPlace {
    int16_t flag, x, y;
    uint8_t draggable;
    int16_t animate;
};

// Where each panel sits on the stage and how the screen treats it.
constexpr PanelPlace kPanelPlaces[kPanelSlots] = {
    {0, 0, 0, 0, 0},     {1, 0, 0, 0, 0},     {1, 100, 100, 1, 0}, {1, 100, 200, 1, 0},
    {1, 100, 100, 1, 0}, {1, 100, 100, 1, 0}, {1, 0, 0, 1, 0},     {1, 100, 100, 1, 0},
    {1, 100, 100, 1, 0}, {0, 0, 0, 0, 0},     {0, 120, 100, 0, 0},
};

constexpr int16_t kLoadPanel = 6;

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

bool openResourceFile()
{
    PWresfileobj.SetWorkName("Beatloom.xrs");
    PWresfileobj.openReadOnly = 1;
    if (PWresfileobj.Open()) return true;
    KEL_UserNotify("Can't find 'Beatloom.xrs' file. Can't continue.", 0);
    return false;
}

void createLibraryFolders()
{
    for (const char* folder : {":Library:", ":Library:Song:", ":Library:Images:", ":Library:Synth:", ":Library:Bls:"})
        KEL_CreateDirectory(folder);
}

void createPanels()
{
    for (auto& p : PWfloatPanelPtr) p = new PWPanelClass;
}

void connectPanels()
{
    for (int16_t i = 0; i < kPanelSlots; ++i) {
        const PanelPlace& place = kPanelPlaces[i];
        PWScreen.connect(PWfloatPanelPtr[i], i, place.flag);
        PWScreen.setProps(i, place.x, place.y, place.draggable, place.animate);
    }
}

void openWindow()
{
    kelMonitorInfo monitor{};
    KEL_GetMonitorInfo(&monitor);
    KEL_NewWindow(1, monitor.width, monitor.height);
    KEL_SetWindowTitle("Beatloom 2.0");
}

}  // namespace

int16_t PW_InitAll()
{
    preopenApplication();
    if (!openResourceFile()) {
        winmainreturnvalue = 0;
        return 0;
    }
    blIntl.start(&PWresfileobj);
    createLibraryFolders();
    kelGlo.screenWidth = 640;
    kelGlo.screenHeight = 480;
    kelQt_Init();
    PWScreen.setup();
    createPanels();
    connectPanels();
    PWScreen.show(kLoadPanel);
    openWindow();
    kelQt_associateFrontWindow();
    PWScreen.drawable = 1;
    const kelRect whole(0, 0, kelGlo.screenWidth, kelGlo.screenHeight);
    PWScreen.update(&whole);
    PWScreen.processOpenDocuments();
    return 1;
}

void PW_ExitAll()
{
    kelQt_deassociateWindow();
    if (PWfloatPanelPtr[0]) PWfloatPanelPtr[0]->onPanelClosed();
    for (auto& p : PWfloatPanelPtr) {
        delete p;
        p = nullptr;
    }
    PWScreen.reset();
    KEL_CloseWindow();
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
    };
    return hooks;
}
