// The main loop and the translation of platform messages into kelGlo.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "core/kelCore.h"
#include "platform/Platform.h"

kelGloRec kelGlo;
char windowsCommandLine[kWindowsCommandLineSize];
int winmainreturnvalue = 0;
int16_t kelDebugFlag = 1;
int kelSkipWndMsgs = 0;
int16_t bldoingInfo = 0;

namespace {

std::atomic<bool> gTerminate{false};
// The signal handler's way to the watcher thread (it may only write).
int gSignalPipe[2] = {-1, -1};

void onSignal(int)
{
    gTerminate.store(true);
    const int saved = errno;
    if (gSignalPipe[1] >= 0) (void)!::write(gSignalPipe[1], "t", 1);
    errno = saved;
}

// Woken by a signal, it lets go of everything the main thread may be waiting
// on: a box waiting for its answer gives up, and the helper processes of
// boxes and file dialogs end (those started while the program ends too).
// It touches no static object, so the process may end under it.
void watchSignals()
{
    char byte;
    while (::read(gSignalPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    for (;;) {
        plat::interruptModal();
        plat::endChildProcesses();
        plat::sleepMs(20);
    }
}

// Sets specialKey / keyChar / keyCode from one key message. Returns false when
// the key has no character (and is none of the keys of the table).
bool translateKey(const plat::Event& e, bool keyUp)
{
    kelGlo.specialKey = 0;
    kelGlo.keyChar = 0;
    kelGlo.escapeKey = e.key == plat::Key::Escape ? 1 : 0;
    using plat::Key;
    const Key k = e.key;
    switch (k) {
        case Key::Shift: kelGlo.shiftDown = keyUp ? 0 : 1; return false;
        case Key::Control: kelGlo.controlDown = keyUp ? 0 : 1; return false;
        case Key::Left: kelGlo.keyChar = kelArrowLeft; return true;
        case Key::Right: kelGlo.keyChar = kelArrowRight; return true;
        case Key::Up: kelGlo.keyChar = kelArrowUp; return true;
        case Key::Down: kelGlo.keyChar = kelArrowDown; return true;
        case Key::Delete: kelGlo.keyChar = kelKeyDelete; return true;
        case Key::Return: kelGlo.keyChar = kelKeyReturn; return true;
        default: break;
    }
    if (k >= Key::Kp0 && k <= Key::Kp9) {
        kelGlo.keyChar = static_cast<uint8_t>('0' + (static_cast<int>(k) - static_cast<int>(Key::Kp0)));
        return true;
    }
    if (!keyUp) {
        if (k == Key::Escape || k == Key::PageUp) {
            kelGlo.specialKey = 20;
            return true;
        }
        if (k == Key::PageDown) {
            kelGlo.specialKey = 21;
            return true;
        }
        if (k >= Key::F1 && k <= Key::F12) {
            kelGlo.specialKey = static_cast<int16_t>(1 + static_cast<int>(k) - static_cast<int>(Key::F1));
            return true;
        }
    }
    if (e.character == 0) return false;
    // The key code is the character as a signed byte, as the panels compare it.
    kelGlo.keyCode =
        static_cast<int16_t>(static_cast<int8_t>(e.character));  // NOLINT(bugprone-signed-char-misuse)
    kelGlo.keyChar = e.character;
    return true;
}

kelMonitorInfo monitor()
{
    kelMonitorInfo m{};
    KEL_GetMonitorInfo(&m);
    if (m.width <= 0) m.width = 32767;
    if (m.height <= 0) m.height = 32767;
    return m;
}

void dispatch(const KelAppHooks& hooks)
{
    if (hooks.remoteEvents) hooks.remoteEvents(0);
}

void handleKeyDown(const plat::Event& e, const KelAppHooks& hooks)
{
    kelGlo.what = e.repeat ? kelAutoKey : kelKeyDown;
    if (!translateKey(e, false)) kelGlo.what = kelNullEvent;
    if (kelGlo.what == kelKeyDown && kelGlo.controlDown == 1) {
        // The stage's size, in every panel: Ctrl+Plus, Ctrl+Minus, Ctrl+0.
        const uint8_t c = kelGlo.keyChar;
        if (c == '+' || c == '=' || c == '-' || c == '_' || c == '0') {
            KEL_StepStageSize(c == '0' ? 0 : c == '-' || c == '_' ? -1 : 1);
            return;
        }
        int16_t item = 0;
        switch (kelGlo.keyChar) {
            case 'O':
            case 'o': item = kelItemOpen; break;
            case 'S':
            case 's': item = kelItemSave; break;
            case 'Q':
            case 'q': item = kelItemQuit; break;
            case 'N':
            case 'n': item = kelItemNew; break;
            case 'Z':
            case 'z': item = kelGlo.shiftDown ? kelItemRedo : kelItemUndo; break;
            case 'Y':
            case 'y': item = kelItemRedo; break;
            default: break;
        }
        if (item != 0) {
            kelGlo.what = kelCommandEvt;
            kelGlo.menuID = kelMenuFile;
            kelGlo.menuItem = item;
        }
    }
    dispatch(hooks);
}

void handleKeyUp(const plat::Event& e, const KelAppHooks& hooks)
{
    translateKey(e, true);
    // A key up that means nothing (Escape's, say) is no event: it must not
    // pass for the key down before it.
    kelGlo.what =
        kelGlo.specialKey != 0 || kelGlo.keyChar != 0 || kelGlo.keyCode != 0 ? kelKeyUp : kelNullEvent;
    dispatch(hooks);
}

// The paths of a drop under way, until its end.
std::vector<std::string>& droppedPaths()
{
    static std::vector<std::string> paths;
    return paths;
}

void handleMessage(const plat::Event& e, const KelAppHooks& hooks)
{
    using T = plat::Event::Type;
    if (e.type == T::Terminate) {
        KEL_RequestTerminate();
        return;
    }
    if (kelSkipWndMsgs) return;
    kelGlo.ticks = KEL_Ticks();
    switch (e.type) {
        case T::CloseRequest:
            kelGlo.what = kelCloseEvt;
            dispatch(hooks);
            break;
        case T::KeyUp: handleKeyUp(e, hooks); break;
        case T::KeyDown: handleKeyDown(e, hooks); break;
        case T::MouseDown:
            kelGlo.mouseX = static_cast<int16_t>(e.x);
            kelGlo.mouseY = static_cast<int16_t>(e.y);
            KEL_NotePress(e.at);
            dispatch(hooks);
            break;
        case T::MouseUp:
            plat::backend().captureMouse(false);
            kelGlo.buttonDown = 0;
            kelGlo.what = kelNullEvent;
            dispatch(hooks);
            break;
        case T::MouseMove:
            kelGlo.mouseX = static_cast<int16_t>(e.x);
            kelGlo.mouseY = static_cast<int16_t>(e.y);
            kelGlo.what = kelNullEvent;
            dispatch(hooks);
            break;
        case T::MouseWheel:
            kelGlo.mouseX = static_cast<int16_t>(e.x);
            kelGlo.mouseY = static_cast<int16_t>(e.y);
            kelGlo.wheel = static_cast<int16_t>(std::clamp(e.wheel, -100, 100));
            kelGlo.what = kelWheelEvt;
            dispatch(hooks);
            kelGlo.wheel = 0;
            break;
        case T::Paint:
            kelGlo.what = kelUpdateEvt;
            dispatch(hooks);
            break;
        case T::Resize: {
            // Kept to what 16-bit coordinates and the display can hold.
            const kelMonitorInfo m = monitor();
            kelGlo.what = kelResizeEvt;
            kelGlo.screenWidth = static_cast<int16_t>(std::clamp(e.x, 1, std::max<int>(m.width, 1)));
            kelGlo.screenHeight = static_cast<int16_t>(std::clamp(e.y, 1, std::max<int>(m.height, 1)));
            dispatch(hooks);
            if (!bldoingInfo) {
                kelGlo.what = kelUpdateEvt;
                dispatch(hooks);
            }
            break;
        }
        case T::DialogDone:
            if (hooks.remoteEvents && e.data) hooks.remoteEvents(reinterpret_cast<uintptr_t>(e.data));
            break;
        case T::DropFile: droppedPaths().push_back(e.text); break;
        case T::DropDone: {
            std::vector<std::string> paths;
            paths.swap(droppedPaths());
            if (hooks.dropped && !paths.empty()) hooks.dropped(paths);
            break;
        }
        default: break;
    }
}

bool isUserAction(const plat::Event& e)
{
    using T = plat::Event::Type;
    switch (e.type) {
        case T::CloseRequest:
        case T::KeyUp:
        case T::KeyDown:
        case T::MouseDown:
        case T::MouseUp:
        case T::MouseWheel:
        case T::DropDone:
        case T::DialogDone: return true;
        default: return false;
    }
}

void appWndProc(const plat::Event& e, const KelAppHooks& hooks)
{
    const bool action = hooks.userAction && !kelSkipWndMsgs && isUserAction(e);
    if (action) hooks.userAction(true);
    handleMessage(e, hooks);
    if (action) hooks.userAction(false);
}

}  // namespace

bool KEL_PollInput()
{
    KEL_ShowDrawn();
    kelGlo.ticks = KEL_Ticks();
    plat::Event e;
    if (!plat::hasBackend() || !plat::backend().pollInputEvent(e)) return false;
    using T = plat::Event::Type;
    kelGlo.what = kelNullEvent;
    switch (e.type) {
        case T::MouseDown:
        case T::MouseUp:
        case T::MouseMove:
            kelGlo.mouseX = static_cast<int16_t>(e.x);
            kelGlo.mouseY = static_cast<int16_t>(e.y);
            if (e.type == T::MouseDown) {
                KEL_NotePress(e.at);
            } else if (e.type == T::MouseUp) {
                plat::backend().captureMouse(false);
                kelGlo.buttonDown = 0;
            }
            break;
        case T::KeyDown:
            kelGlo.what = e.repeat ? kelAutoKey : kelKeyDown;
            if (!translateKey(e, false)) kelGlo.what = kelNullEvent;
            break;
        case T::KeyUp:
            translateKey(e, true);
            kelGlo.what = kelKeyUp;
            break;
        case T::Terminate: KEL_RequestTerminate(); break;
        default: break;
    }
    return true;
}

void KEL_InstallSignalHandlers()
{
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC) == 0) {
        ::fcntl(gSignalPipe[1], F_SETFL, O_NONBLOCK);
        try {
            std::thread(watchSignals).detach();
        } catch (const std::system_error&) {
            // Without the watcher, signals still end the main loop.
        }
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void KEL_RequestTerminate()
{
    gTerminate.store(true);
}
bool KEL_TerminateRequested()
{
    return gTerminate.load();
}

bool KEL_Platform_Init()
{
    if (!plat::hasBackend()) {
        winmainreturnvalue = 0;
        return false;
    }
    kelGlo.running = 1;
    std::srand(plat::millis());
    return true;
}

int KEL_Platform_Exit()
{
    return winmainreturnvalue;
}

bool KEL_HandleOneMessage(const KelAppHooks& hooks)
{
    plat::Event e;
    if (!plat::backend().pollEvent(e)) return false;
    appWndProc(e, hooks);
    return true;
}

void KEL_IdlePass(const KelAppHooks& hooks)
{
    plat::backend().flush();
    plat::backend().idleWait(1);
    kelGlo.what = kelNullEvent;
    kelGlo.ticks = KEL_Ticks();
    dispatch(hooks);
    if (hooks.serve) hooks.serve();
}

void KEL_Main2(const KelAppHooks& hooks)
{
    if (hooks.initAll && hooks.initAll() == 0) return;
    while (kelGlo.running == 1) {
        if (KEL_TerminateRequested()) {
            kelGlo.running = 0;
            break;
        }
        // A message's pass is served here, an idle one by the idle pass.
        if (!KEL_HandleOneMessage(hooks))
            KEL_IdlePass(hooks);
        else if (hooks.serve)
            hooks.serve();
    }
    if (hooks.exitAll) hooks.exitAll();
    // A file dialog still open has nobody to answer to any more.
    plat::endChildProcesses();
}
