// The event record, the tick clock, input polling, windows, boxes and memory:
// the framework services every panel and control stands on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Event codes of kelGlo.what.
enum : int16_t {
    kelNullEvent = 0,
    kelMouseDown = 1,
    kelKeyDown = 2,
    kelAutoKey = 3,
    kelUpdateEvt = 4,
    kelCommandEvt = 5,
    kelResizeEvt = 7,
    kelCloseEvt = 8,
    kelKeyUp = 10,
    kelWheelEvt = 11,  // the mouse wheel: kelGlo.wheel notches over mouseX, mouseY
};

// Key codes carried in keyChar.
enum : uint8_t {
    kelArrowLeft = 0x1C,
    kelArrowRight = 0x1D,
    kelArrowUp = 0x1E,
    kelArrowDown = 0x1F,
    kelKeyDelete = 0x7F,
    kelKeyReturn = 0x0D,
};

// Command selectors.
constexpr int16_t kelMenuInfo = 128;
constexpr int16_t kelMenuFile = 129;
constexpr int16_t kelItemOpen = 1;
constexpr int16_t kelItemSave = 4;
constexpr int16_t kelItemQuit = 6;
constexpr int16_t kelItemNew = 20;
constexpr int16_t kelItemUndo = 21;
constexpr int16_t kelItemRedo = 22;

struct kelGloRec {
    int16_t what = 0;
    int16_t screenWidth = 0;
    int16_t screenHeight = 0;
    int16_t mouseX = 0;
    int16_t mouseY = 0;
    int16_t keyCode = 0;
    uint8_t keyChar = 0;
    int16_t specialKey = 0;
    int16_t menuID = 0;
    int16_t menuItem = 0;
    uint32_t ticks = 0;
    // When the latest press was made, not when it was handled: a slow pass
    // must not join two clicks into a double click, nor part one.
    uint32_t pressTicks = 0;
    uint8_t buttonDown = 0;
    uint8_t shiftDown = 0;
    uint8_t controlDown = 0;
    uint8_t running = 0;
    // 1 on a key event of Escape itself (specialKey 20 is Page Up too).
    uint8_t escapeKey = 0;
    // The notches of a wheel event, away from the user above 0.
    int16_t wheel = 0;
};

extern kelGloRec kelGlo;

constexpr int kWindowsCommandLineSize = 3000;
extern char windowsCommandLine[kWindowsCommandLineSize];
extern int winmainreturnvalue;
extern int16_t kelDebugFlag;
extern int kelSkipWndMsgs;
extern int16_t bldoingInfo;

struct kelMonitorInfo {
    int16_t width;
    int16_t height;
    int16_t depth;
};

// Process and platform.
bool KEL_Platform_Init();
int KEL_Platform_Exit();
void KEL_Init();
void KEL_Exit();

// What the layers above hand the main loop: the start-up and shut-down
// sequences and the dispatch of one event (0) or one finished dialog (a BLPath).
// A start-up that returns 0 ends the program at once.
struct KelAppHooks {
    int16_t (*initAll)() = nullptr;
    void (*exitAll)() = nullptr;
    void (*remoteEvents)(uintptr_t message) = nullptr;
    // Around each message that is an action of the user (a key, a click, the
    // window's close button, a file dialog's answer): begin true, then false.
    void (*userAction)(bool begin) = nullptr;
    // Files and folders dropped on the window together (system paths).
    void (*dropped)(const std::vector<std::string>& paths) = nullptr;
    // Once every pass of the main loop, whatever panel is shown: the
    // services that must not wait for one (the links, MIDI, the player).
    void (*serve)() = nullptr;
};
void KEL_Main2(const KelAppHooks& hooks);

// Runs one waiting platform message through the translation and dispatch;
// false when none was waiting. The main loop's body, open to tests.
bool KEL_HandleOneMessage(const KelAppHooks& hooks);
// One idle pass: 1 ms sleep, null event, then the services (hooks.serve).
void KEL_IdlePass(const KelAppHooks& hooks);

// Signals end the program through the orderly shut-down without asking.
void KEL_InstallSignalHandlers();
void KEL_RequestTerminate();
bool KEL_TerminateRequested();

// Timing and input polling.
uint32_t KEL_Ticks();
uint32_t KEL_TicksAt(uint32_t millis);
// A press the platform reported at `at` (its millis(), 0 when not known).
void KEL_NotePress(uint32_t at);
void KEL_WaitTicks(long n);
bool KEL_EveTimeoutRepeated(long* deadline, long interval);
bool KEL_ButtonDown();
// The pause of a drag or hold loop between two KEL_ButtonDown polls (1 ms,
// sooner when an event arrives), so that holding the mouse does not spin.
void KEL_PollPause();
// An open menu's poll: takes at most one waiting mouse or key event into
// kelGlo (what = mouse down, key down, auto-key, key up, or null for a move
// or a release); false when none was waiting. Other messages stay queued.
bool KEL_PollInput();
// Shows what was drawn since the last time (the window shows changes once a frame).
void KEL_ShowDrawn();
int KEL_Random(uint16_t n);

// Window.
void KEL_NewWindow(int16_t kind, int16_t width, int16_t height);
void KEL_SetWindowTitle(const char* text);
void KEL_CloseWindow();
bool KEL_HasWindow();
void KEL_GetMonitorInfo(kelMonitorInfo* rec);
// Moves the window just opened to (left, top) of the desktop, where it was last.
void KEL_PlaceWindow(int16_t left, int16_t top);
// Where the window is on the desktop, (left, top, right, bottom) in window
// pixels; empty when it fills the display (maximised). False without a window.
bool KEL_GetWindowRect(int16_t rect[4]);

// The stage's size in the window: 0 fits it, 100, 150, 200 or 300 are
// percentages of its own size, -1 leaves it to the window (a desktop
// window fits). The window shows a new size at once; the preferences keep it.
void KEL_SetStageSize(int16_t size);
int16_t KEL_StageSize();
// Ctrl+Plus (1) and Ctrl+Minus (-1): the next size from what the window
// shows; Ctrl+0 (0): back to fitting the window.
void KEL_StepStageSize(int step);

// Messages to the user.
void KEL_DebugMessage(const char* text);
void KEL_DebugMessageNum(const char* text, long n);
// A question with three named answers (1, 2, 3; Escape gives 3).
int16_t KEL_UserChoose(const char* text, const char* first, const char* second, const char* third);
// The same with a text in UTF-8 (one that names files); the answers are 8-bit.
int16_t KEL_UserChooseUtf8(const std::string& text, const char* first, const char* second, const char* third);
int16_t KEL_UserNotify(const char* text, int16_t buttons);
// The modal box behind both (title and text in UTF-8): buttons clamped to
// 0..2; without a window system, or once the program is ending, nothing is
// shown and the default button (OK, No, Cancel) is the answer.
int16_t KEL_ShowBox(const std::string& title, const std::string& text, int16_t buttons);

// A modal box as the program draws it. Answers count the buttons from 1.
struct KelBox {
    std::string title;  // UTF-8
    std::string text;   // UTF-8
    // 0..2: OK; Yes/No; Yes/No/Cancel, their words the message table's.
    // -1: the named buttons below.
    int16_t kind = 0;
    std::vector<std::string> names;  // UTF-8, for kind -1
    int16_t returnAnswer = 1;
    int16_t escapeAnswer = 1;
};
// The panels draw the boxes once the skin is loaded: the hook answers the
// box, or 0 when it cannot show it (the window system's box shows it then).
using KelBoxHook = int16_t (*)(const KelBox& box);
void KEL_SetBoxHook(KelBoxHook hook);

// Memory.
bool KEL_NewPtr(void** p, long size);
void KEL_DisposePtr(void** p);
void KEL_BeginUpdate();
void KEL_EndUpdate();
