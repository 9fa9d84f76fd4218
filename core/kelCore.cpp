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
    // The product wraps on purpose: ticks follow the millisecond clock's wrap.
    return static_cast<uint32_t>(plat::millis() * 60u) / 1000u;
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
            plat::backend().captureMouse(true);
            kelGlo.what = kelMouseDown;
            kelGlo.buttonDown = 1;
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

void KEL_CloseWindow() { plat::backend().closeWindow(); }

bool KEL_HasWindow() { return plat::hasBackend() && plat::backend().hasWindow(); }

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

int16_t KEL_StageSize() { return gStageSize; }

void KEL_StepStageSize(int step)
{
    if (!plat::hasBackend()) return;
    KEL_SetStageSize(static_cast<int16_t>(plat::stepStageSize(plat::backend().windowFit().scale() * 100, step)));
}

void KEL_DebugMessage(const char* text)
{
    if (!kelDebugFlag) return;
    plat::backend().messageBox("ERROR", KEL_Latin1ToUtf8(text ? text : ""), plat::kBoxOk, plat::kIconError);
}

void KEL_DebugMessageNum(const char* text, long n)
{
    if (!kelDebugFlag) return;
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%s %ld <%lx>", text ? text : "", n, static_cast<unsigned long>(n));
    plat::backend().messageBox("ERROR NUM", KEL_Latin1ToUtf8(buffer), plat::kBoxOk, plat::kIconError);
}

int16_t KEL_UserChoose(const char* text, const char* first, const char* second, const char* third)
{
    return KEL_UserChooseUtf8(KEL_Latin1ToUtf8(text ? text : ""), first, second, third);
}

int16_t KEL_UserChooseUtf8(const std::string& text, const char* first, const char* second, const char* third)
{
    auto utf8 = [](const char* t) { return KEL_Latin1ToUtf8(t ? t : ""); };
    return static_cast<int16_t>(
        plat::backend().choiceBox("Beatloom", text, utf8(first), utf8(second), utf8(third)));
}

int16_t KEL_UserNotify(const char* text, int16_t buttons)
{
    // The program's texts are 8-bit; the window system's boxes take UTF-8.
    return KEL_ShowBox("Warning", KEL_Latin1ToUtf8(text ? text : ""), buttons);
}

int16_t KEL_ShowBox(const std::string& title, const std::string& text, int16_t buttons)
{
    if (buttons < 0) buttons = 0;
    if (buttons > 2) buttons = 2;
    const int16_t fallback = buttons == 0 ? plat::kBoxResultOk : buttons == 1 ? plat::kBoxResultNo : plat::kBoxResultCancel;
    // Nobody to ask, or a signal is ending the program: say it on the error
    // stream and take the default button, so that nothing waits for an answer.
    if (!plat::hasBackend() || KEL_TerminateRequested()) {
        plat::logLine(title + ": " + text);
        return fallback;
    }
    const int answer = plat::backend().messageBox(title, text, buttons, plat::kIconWarning);
    return KEL_TerminateRequested() ? fallback : static_cast<int16_t>(answer);
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
