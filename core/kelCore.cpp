// Tick clock, input polling, windows, boxes and memory.
#include "core/kelCore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/kelTextCodec.h"
#include "platform/Platform.h"

uint32_t KEL_Ticks()
{
    return KEL_TicksAt(plat::millis());
}

uint32_t KEL_TicksAt(uint32_t millis)
{
    // The product wraps on purpose: ticks follow the millisecond clock's wrap.
    return static_cast<uint32_t>(millis * 60u) / 1000u;
}

void KEL_WaitTicks(long n)
{
    const long target = static_cast<long>(static_cast<int32_t>(KEL_Ticks())) + n;
    while (static_cast<long>(static_cast<int32_t>(KEL_Ticks())) < target) plat::sleepMs(1);
}

bool KEL_EveTimeoutRepeated(long* deadline, long interval)
{
    const int32_t now = static_cast<int32_t>(kelGlo.ticks);
    if (static_cast<int32_t>(*deadline) < now) {
        *deadline = static_cast<long>(static_cast<int32_t>(kelGlo.ticks + static_cast<uint32_t>(interval)));
        return true;
    }
    return false;
}

void KEL_NotePress(uint32_t at)
{
    plat::backend().captureMouse(true);
    kelGlo.what = kelMouseDown;
    kelGlo.buttonDown = 1;
    kelGlo.pressTicks = at ? KEL_TicksAt(at) : kelGlo.ticks;
}

void KEL_ShowDrawn()
{
    if (plat::hasBackend()) plat::backend().flush();
}

bool KEL_ButtonDown()
{
    KEL_ShowDrawn();
    kelGlo.ticks = KEL_Ticks();
    kelGlo.what = kelNullEvent;
    plat::Event e;
    if (plat::hasBackend() && plat::backend().pollMouseEvent(e)) {
        kelGlo.mouseX = static_cast<int16_t>(e.x);
        kelGlo.mouseY = static_cast<int16_t>(e.y);
        if (e.type == plat::Event::Type::MouseDown) {
            KEL_NotePress(e.at);
        } else if (e.type == plat::Event::Type::MouseUp) {
            plat::backend().captureMouse(false);
            kelGlo.buttonDown = 0;
        }
    }
    return kelGlo.buttonDown != 0;
}

void KEL_PollPause()
{
    KEL_ShowDrawn();
    if (plat::hasBackend()) plat::backend().idleWait(1);
}

int KEL_Random(uint16_t n)
{
    if (n == 0) return 0;
    return static_cast<int>(static_cast<uint16_t>(std::rand()) % n);
}

void KEL_Init() {}
void KEL_Exit() {}

void KEL_NewWindow(int16_t kind, int16_t width, int16_t height)
{
    if (kind < 0 || kind > 4) return;
    if (plat::backend().hasWindow()) KEL_CloseWindow();
    if (!plat::backend().openWindow(kind, width, height, "")) return;
    // The window system may give another size than the one asked (a task
    // bar, a frame), and the picture is scaled to fit it: the program draws
    // the logical client area the window really has.
    int w = width, h = height;
    if (!plat::backend().clientSize(w, h)) {
        w = width;
        h = height;
    }
    kelGlo.screenWidth = static_cast<int16_t>(std::clamp(w, 1, 32767));
    kelGlo.screenHeight = static_cast<int16_t>(std::clamp(h, 1, 32767));
}

void KEL_SetWindowTitle(const char* text)
{
    if (plat::backend().hasWindow()) plat::backend().setWindowTitle(text ? text : "");
}

void KEL_CloseWindow()
{
    plat::backend().closeWindow();
}

bool KEL_HasWindow()
{
    return plat::hasBackend() && plat::backend().hasWindow();
}

void KEL_GetMonitorInfo(kelMonitorInfo* rec)
{
    const plat::MonitorInfo m = plat::backend().monitorInfo();
    rec->width = m.width;
    rec->height = m.height;
    rec->depth = m.depth;
}

void KEL_PlaceWindow(int16_t left, int16_t top)
{
    if (KEL_HasWindow()) plat::backend().placeWindow(left, top);
}

bool KEL_GetWindowRect(int16_t rect[4])
{
    int x = 0, y = 0, w = 0, h = 0;
    bool maximised = false;
    if (!KEL_HasWindow() || !plat::backend().windowPlacement(x, y, w, h, maximised)) return false;
    auto c = [](long v) { return static_cast<int16_t>(std::clamp<long>(v, -32768, 32767)); };
    rect[0] = c(x);
    rect[1] = c(y);
    rect[2] = maximised ? rect[0] : c(long(x) + w);
    rect[3] = maximised ? rect[1] : c(long(y) + h);
    return true;
}

namespace {
int16_t gStageSize = plat::kStageSizeDefault;
}

void KEL_SetStageSize(int16_t size)
{
    if (!plat::isStageSize(size)) return;
    gStageSize = size;
    if (plat::hasBackend()) plat::backend().setStageSize(size);
}

int16_t KEL_StageSize()
{
    return gStageSize;
}

void KEL_StepStageSize(int step)
{
    if (!plat::hasBackend()) return;
    KEL_SetStageSize(
        static_cast<int16_t>(plat::stepStageSize(plat::backend().windowFit().scale() * 100, step)));
}

namespace {

KelBoxHook gBoxHook = nullptr;

// The program's own box when the panels can draw it, else the window system's.
int16_t askBox(const KelBox& box, const std::string& first, const std::string& second,
               const std::string& third)
{
    if (gBoxHook) {
        if (const int16_t answer = gBoxHook(box); answer > 0) return answer;
    }
    if (box.kind < 0)
        return static_cast<int16_t>(plat::backend().choiceBox(box.title, box.text, first, second, third));
    const int icon = box.title == "ERROR" || box.title == "ERROR NUM" ? plat::kIconError : plat::kIconWarning;
    return static_cast<int16_t>(plat::backend().messageBox(box.title, box.text, box.kind, icon));
}

}  // namespace

void KEL_SetBoxHook(KelBoxHook hook)
{
    gBoxHook = hook;
}

void KEL_DebugMessage(const char* text)
{
    if (!kelDebugFlag) return;
    KEL_ShowBox("ERROR", KEL_NameToUtf8(text ? text : ""), plat::kBoxOk);
}

void KEL_DebugMessageNum(const char* text, long n)
{
    if (!kelDebugFlag) return;
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%s %ld <%lx>", text ? text : "", n, static_cast<unsigned long>(n));
    KEL_ShowBox("ERROR NUM", KEL_NameToUtf8(buffer), plat::kBoxOk);
}

int16_t KEL_UserChoose(const char* text, const char* first, const char* second, const char* third)
{
    return KEL_UserChooseUtf8(KEL_NameToUtf8(text ? text : ""), first, second, third);
}

int16_t KEL_UserChooseUtf8(const std::string& text, const char* first, const char* second, const char* third)
{
    auto utf8 = [](const char* t) { return KEL_NameToUtf8(t ? t : ""); };
    KelBox box;
    box.title = "Beatloom";
    box.text = text;
    box.kind = -1;
    box.names = {utf8(first), utf8(second), utf8(third)};
    if (box.names[2].empty()) box.names.pop_back();
    box.returnAnswer = 1;
    box.escapeAnswer = static_cast<int16_t>(box.names.size());
    if (!plat::hasBackend() || KEL_TerminateRequested()) {
        plat::logLine(box.title + ": " + text);
        return box.escapeAnswer;
    }
    const int16_t answer = askBox(box, box.names[0], box.names[1], box.names.size() > 2 ? box.names[2] : "");
    return KEL_TerminateRequested() ? box.escapeAnswer : answer;
}

int16_t KEL_UserNotify(const char* text, int16_t buttons)
{
    // The program's texts are 8-bit, a name in them may come in UTF-8 (as
    // names do); the boxes take UTF-8.
    return KEL_ShowBox("Warning", KEL_NameToUtf8(text ? text : ""), buttons);
}

int16_t KEL_ShowBox(const std::string& title, const std::string& text, int16_t buttons)
{
    if (buttons < 0) buttons = 0;
    if (buttons > 2) buttons = 2;
    const int16_t fallback = buttons == 0   ? plat::kBoxResultOk
                             : buttons == 1 ? plat::kBoxResultNo
                                            : plat::kBoxResultCancel;
    // Nobody to ask, or a signal is ending the program: say it on the error
    // stream and take the default button, so that nothing waits for an answer.
    if (!plat::hasBackend() || KEL_TerminateRequested()) {
        plat::logLine(title + ": " + text);
        return fallback;
    }
    KelBox box;
    box.title = title;
    box.text = text;
    box.kind = buttons;
    box.returnAnswer = box.escapeAnswer = fallback;
    const int16_t answer = askBox(box, "", "", "");
    return KEL_TerminateRequested() ? fallback : answer;
}

bool KEL_NewPtr(void** p, long size)
{
    *p = size > 0 ? std::calloc(1, static_cast<size_t>(size)) : nullptr;
    return *p != nullptr;
}

void KEL_DisposePtr(void** p)
{
    std::free(*p);
    *p = nullptr;
}

void KEL_BeginUpdate() {}
void KEL_EndUpdate() {}
