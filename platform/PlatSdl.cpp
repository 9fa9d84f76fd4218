// The desktop backend: an SDL2 window that shows the 15-bit screen image
// through the window's own surface, scaled to fit (ScaledPicture).
#include "platform/PlatSdl.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/PlatDialogs.h"
#include "platform/PlatHeadless.h"
#include "platform/PlatScreen.h"

namespace plat {

namespace {

// One frame a refresh of a 60 Hz display at most.
constexpr uint32_t kFrameMs = 16;

int dropInput(void* from, SDL_Event* e)
{
    const bool input = (e->type >= SDL_KEYDOWN && e->type <= SDL_TEXTINPUT) ||
                       (e->type >= SDL_MOUSEMOTION && e->type <= SDL_MOUSEWHEEL);
    return input && SDL_TICKS_PASSED(e->common.timestamp, *static_cast<Uint32*>(from)) ? 0 : 1;
}

Key keyFromSdl(SDL_Keycode k)
{
    switch (k) {
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return Key::Shift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return Key::Control;
        case SDLK_ESCAPE: return Key::Escape;
        case SDLK_PAGEUP: return Key::PageUp;
        case SDLK_PAGEDOWN: return Key::PageDown;
        case SDLK_LEFT: return Key::Left;
        case SDLK_RIGHT: return Key::Right;
        case SDLK_UP: return Key::Up;
        case SDLK_DOWN: return Key::Down;
        case SDLK_DELETE: return Key::Delete;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return Key::Return;
        case SDLK_KP_0: return Key::Kp0;
        case SDLK_KP_1: return Key::Kp1;
        case SDLK_KP_2: return Key::Kp2;
        case SDLK_KP_3: return Key::Kp3;
        case SDLK_KP_4: return Key::Kp4;
        case SDLK_KP_5: return Key::Kp5;
        case SDLK_KP_6: return Key::Kp6;
        case SDLK_KP_7: return Key::Kp7;
        case SDLK_KP_8: return Key::Kp8;
        case SDLK_KP_9: return Key::Kp9;
        default: break;
    }
    if (k >= SDLK_F1 && k <= SDLK_F12) return static_cast<Key>(static_cast<int>(Key::F1) + (k - SDLK_F1));
    return Key::Other;
}

// The character a key types, as a US keyboard gives it; Latin-1 keys keep
// their code. Keys that type nothing give 0.
uint8_t characterFromSdl(SDL_Keycode k, Uint16 mod)
{
    const bool shift = (mod & KMOD_SHIFT) != 0;
    const bool caps = (mod & KMOD_CAPS) != 0;
    switch (k) {
        case SDLK_KP_DIVIDE: return '/';
        case SDLK_KP_MULTIPLY: return '*';
        case SDLK_KP_MINUS: return '-';
        case SDLK_KP_PLUS: return '+';
        case SDLK_KP_PERIOD: return '.';
        case SDLK_BACKSPACE: return '\b';
        case SDLK_TAB: return '\t';
        default: break;
    }
    if (k >= 'a' && k <= 'z') return static_cast<uint8_t>(shift != caps ? k - 32 : k);
    if (k >= 0x20 && k < 0x7F) {
        if (!shift) return static_cast<uint8_t>(k);
        static const char kPlain[] = "1234567890-=[]\\;',./`";
        static const char kShifted[] = "!@#$%^&*()_+{}|:\"<>?~";
        for (int i = 0; kPlain[i]; ++i)
            if (kPlain[i] == k) return static_cast<uint8_t>(kShifted[i]);
        return static_cast<uint8_t>(k);
    }
    if (k >= 0xC0 && k <= 0xFF) {
        // Latin-1 letters: upper case is 32 below, except the two without one.
        if (shift != caps && k >= 0xE0 && k != 0xF7 && k != 0xFF) return static_cast<uint8_t>(k - 32);
        return static_cast<uint8_t>(k);
    }
    return 0;
}

class SdlBackend : public Backend {
public:
    SdlBackend() { dialogDoneEvent_ = SDL_RegisterEvents(1); }
    ~SdlBackend() override
    {
        closeWindow();
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    }

    const char* name() const override { return "sdl"; }

    bool openWindow(int kind, int width, int height, const std::string& title) override
    {
        closeWindow();
        Uint32 flags = SDL_WINDOW_SHOWN;
        int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
        switch (kind) {
            case 1: flags |= SDL_WINDOW_RESIZABLE | SDL_WINDOW_MAXIMIZED; break;
            case 0: flags |= SDL_WINDOW_RESIZABLE; break;
            case 2: flags |= SDL_WINDOW_FULLSCREEN_DESKTOP; break;
            case 3:
            case 4: break;
            case kWindowKindSplash: flags |= SDL_WINDOW_BORDERLESS; break;
            default: return false;
        }
        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            // Never larger than what the display can show; maximised over
            // the usable area, the size asked is only where it starts.
            width = std::min(width, usable.w);
            height = std::min(height, usable.h);
        }
        window_ = SDL_CreateWindow(title.c_str(), x, y, std::max(width, 1), std::max(height, 1), flags);
        if (!window_) {
            logLine(std::string("cannot open a window: ") + SDL_GetError());
            return false;
        }
        refit();
        return true;
    }

    void closeWindow() override
    {
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
        surface_ = nullptr;
        dirty_.clear();
    }

    bool hasWindow() const override { return window_ != nullptr; }

    void setWindowTitle(const std::string& title) override
    {
        if (window_) SDL_SetWindowTitle(window_, title.c_str());
    }

    MonitorInfo monitorInfo() override
    {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return MonitorInfo{kStageWidth, kStageHeight, 32};
        return MonitorInfo{static_cast<int16_t>(std::min(mode.w, 32767)),
                           static_cast<int16_t>(std::min(mode.h, 32767)),
                           static_cast<int16_t>(SDL_BITSPERPIXEL(mode.format))};
    }

    bool clientSize(int& width, int& height) override
    {
        if (!window_) return false;
        width = fit_.width;
        height = fit_.height;
        return true;
    }

    void present(const uint16_t* pixels, int rowBytes, int width, int height, int left, int top, int right,
                 int bottom) override
    {
        if (!window_) return;
        dirty_.add(screen_.update(pixels, rowBytes, width, height, left, top, right, bottom));
        // A drag or a held menu runs outside the main loop: it is shown as it
        // goes, one frame a refresh.
        flush();
    }

    void flush() override
    {
        if (millis() - lastFlush_ >= kFrameMs) flushNow();
    }

    void flushNow()
    {
        if (!window_ || (dirty_.empty() && !wholeWindowDue_)) return;
        if (!surface_) surface_ = SDL_GetWindowSurface(window_);
        if (!surface_) return;
        if (surface_->format->format != lutFormat_) makeLut();
        std::vector<SDL_Rect> shown;
        for (const PixelRect& r : dirty_.rects()) {
            const PixelRect w = scaled_.windowRect(r);
            if (w.empty()) continue;
            blit(w);
            shown.push_back(SDL_Rect{w.left, w.top, w.right - w.left, w.bottom - w.top});
        }
        dirty_.clear();
        if (wholeWindowDue_)
            SDL_UpdateWindowSurface(window_);
        else
            SDL_UpdateWindowSurfaceRects(window_, shown.data(), static_cast<int>(shown.size()));
        wholeWindowDue_ = false;
        lastFlush_ = millis();
        lastActivity_ = lastFlush_;
        ++frames_;
    }

    bool saveScreenPng(const std::string& path) override { return scaled_.savePng(screen_, path); }

    void setStageSize(int size) override
    {
        stageSize_ = size;
        if (!window_) return;
        const Uint32 flags = SDL_GetWindowFlags(window_);
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        const int needW = stageSizeWindowWidth(size), needH = stageSizeWindowHeight(size);
        SDL_Rect usable;
        const int index = SDL_GetWindowDisplayIndex(window_);
        if (size > 0 && (w < needW || h < needH) &&
            !(flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN)) &&
            SDL_GetDisplayUsableBounds(index < 0 ? 0 : index, &usable) == 0) {
            // Grown where the display allows; the window system tells the new size.
            SDL_SetWindowSize(window_, std::max(w, std::min(needW, usable.w)),
                              std::max(h, std::min(needH, usable.h)));
        }
        refit();
        resizeDue_ = true;
    }

    WindowFit windowFit() const override { return fit_; }

    bool windowPlacement(int& x, int& y, int& width, int& height, bool& maximised) override
    {
        if (!window_) return false;
        SDL_GetWindowPosition(window_, &x, &y);
        SDL_GetWindowSize(window_, &width, &height);
        maximised = (SDL_GetWindowFlags(window_) &
                     (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP)) != 0;
        return true;
    }

    void placeWindow(int x, int y) override
    {
        if (!window_) return;
        // Only onto a display that is there now.
        for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
            SDL_Rect d;
            if (SDL_GetDisplayUsableBounds(i, &d) != 0) continue;
            if (x >= d.x && y >= d.y && x < d.x + d.w && y < d.y + d.h) {
                SDL_SetWindowPosition(window_, x, y);
                return;
            }
        }
    }

    bool pollEvent(Event& event) override
    {
        if (resizeDue_) {
            resizeDue_ = false;
            event = Event{};
            event.type = Event::Type::Resize;
            event.x = fit_.width;
            event.y = fit_.height;
            return true;
        }
        // Asking the window system costs more than the rest of an idle pass;
        // a few milliseconds between asks is below what a hand can feel.
        const uint32_t now = millis();
        if (now - lastPump_ >= kPumpIntervalMs) {
            SDL_PumpEvents();
            lastPump_ = now;
        }
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
            if (translate(e, event)) {
                lastActivity_ = now;
                return true;
            }
        }
        return false;
    }

    bool pollMouseEvent(Event& event) override
    {
        return pollRange(event, SDL_MOUSEMOTION, SDL_MOUSEBUTTONUP);
    }

    bool pollInputEvent(Event& event) override
    {
        return pollRange(event, SDL_MOUSEMOTION, SDL_MOUSEBUTTONUP) ||
               pollRange(event, SDL_KEYDOWN, SDL_KEYUP);
    }

    // Until a message comes. While the picture moves or a hand is at work,
    // 8 ms at most: meters and lights keep more than 60 pictures a second.
    // Once all has been still for a while, the processor rests longer; a
    // message still wakes it at once.
    void idleWait(int ms) override
    {
        const bool lively = !dirty_.empty() || millis() - lastActivity_ < kLivelyMs;
        SDL_WaitEventTimeout(nullptr, std::max(ms, lively ? kLivelyWaitMs : kStillWaitMs));
    }

    void captureMouse(bool on) override { SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE); }

    void postDialogDone(void* path) override
    {
        SDL_Event e{};
        e.type = dialogDoneEvent_;
        e.user.data1 = path;
        SDL_PushEvent(&e);
    }

    int messageBox(const std::string& title, const std::string& text, int buttons, int icon) override
    {
        flushNow();
        SDL_MessageBoxButtonData data[3];
        int count = 0;
        const Uint32 enter = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        const Uint32 escape = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        if (buttons == kBoxOk) {
            data[count++] = {enter | escape, kBoxResultOk, "OK"};
        } else if (buttons == kBoxYesNo) {
            data[count++] = {0, kBoxResultYes, "Yes"};
            data[count++] = {enter | escape, kBoxResultNo, "No"};
        } else {
            data[count++] = {0, kBoxResultYes, "Yes"};
            data[count++] = {0, kBoxResultNo, "No"};
            data[count++] = {enter | escape, kBoxResultCancel, "Cancel"};
        }
        const Uint32 flags = icon == kIconError     ? SDL_MESSAGEBOX_ERROR
                             : icon == kIconWarning ? SDL_MESSAGEBOX_WARNING
                                                    : SDL_MESSAGEBOX_INFORMATION;
        SDL_MessageBoxData box{flags, window_, title.c_str(), text.c_str(), count, data, nullptr};
        int hit = -1;
        const Uint32 shown = SDL_GetTicks();
        const int failed = SDL_ShowMessageBox(&box, &hit);
        sdlDropInputFrom(shown);
        if (failed != 0 || hit < 0) {
            logLine(title + ": " + text);
            hit = buttons == kBoxOk ? kBoxResultOk : buttons == kBoxYesNo ? kBoxResultNo : kBoxResultCancel;
        }
        return hit;
    }

    int choiceBox(const std::string& title, const std::string& text, const std::string& first,
                  const std::string& second, const std::string& third) override
    {
        flushNow();
        const int count = third.empty() ? 2 : 3;
        const SDL_MessageBoxButtonData data[3] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, first.c_str()},
            {count == 2 ? Uint32{SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT} : Uint32{0}, 2, second.c_str()},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 3, third.c_str()},
        };
        SDL_MessageBoxData box{
            SDL_MESSAGEBOX_WARNING, window_, title.c_str(), text.c_str(), count, data, nullptr};
        int hit = -1;
        const Uint32 shown = SDL_GetTicks();
        const int failed = SDL_ShowMessageBox(&box, &hit);
        sdlDropInputFrom(shown);
        if (failed != 0 || hit < 0) {
            logLine(title + ": " + text);
            hit = count;
        }
        return hit;
    }

    bool fileDialog(const FileDialogRequest& request, std::string& chosen) override
    {
        return runExternalFileDialog(request, chosen);
    }

    EntryAnswer textEntry(const TextEntryRequest& request, std::string& text) override
    {
        return runExternalTextEntry(request, text);
    }

    bool openAddress(const std::string& address) override { return runExternalOpen(address); }

    bool readPixels(std::vector<uint8_t>& rgb, int& width, int& height)
    {
        flushNow();
        if (!surface_) return false;
        width = surface_->w;
        height = surface_->h;
        rgb.assign(static_cast<size_t>(width) * height * 3, 0);
        return SDL_ConvertPixels(width, height, surface_->format->format, surface_->pixels, surface_->pitch,
                                 SDL_PIXELFORMAT_RGB24, rgb.data(), width * 3) == 0;
    }

    bool resize(int width, int height)
    {
        if (!window_) return false;
        SDL_SetWindowSize(window_, width, height);
        return true;
    }

    long frames() const { return frames_; }

    // Puts the window system's own pointer there too, so that what it
    // reports (a captured mouse, its motion) agrees with a scripted event.
    void warp(int x, int y)
    {
        if (window_) SDL_WarpMouseInWindow(window_, x, y);
    }

private:
    bool pollRange(Event& event, Uint32 first, Uint32 last)
    {
        SDL_PumpEvents();
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, first, last) == 1) {
            if (translate(e, event)) {
                lastActivity_ = millis();
                return true;
            }
        }
        return false;
    }

    // Where the stage sits in the window now; the whole picture is shown anew.
    void refit()
    {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        SDL_Rect display{0, 0, 0, 0};
        const int index = SDL_GetWindowDisplayIndex(window_);
        if (SDL_GetDisplayBounds(index < 0 ? 0 : index, &display) != 0) display = SDL_Rect{0, 0, 0, 0};
        fit_ =
            fitWindow(w, h, display.w, display.h, stageSize_ == kStageSizeDefault ? kStageFit : stageSize_);
        scaled_.setFit(fit_);
        screen_.resize(fit_.width, fit_.height);
        surface_ = SDL_GetWindowSurface(window_);
        if (surface_) {
            // Black all over; the picture is drawn over at the next frame,
            // which shows the whole window at once.
            SDL_FillRect(surface_, nullptr, SDL_MapRGB(surface_->format, 0, 0, 0));
            wholeWindowDue_ = true;
        }
        dirty_.clear();
        dirty_.add(PixelRect{0, 0, fit_.width, fit_.height});
    }

    void makeLut()
    {
        lutFormat_ = surface_->format->format;
        lut_.resize(32768);
        auto expand = [](unsigned c) { return static_cast<Uint8>((c << 3) | (c >> 2)); };
        const bool direct = surface_->format->BytesPerPixel == 4;
        for (unsigned p = 0; p < 32768; ++p) {
            const Uint8 r = expand((p >> 10) & 31), g = expand((p >> 5) & 31), b = expand(p & 31);
            lut_[p] = direct ? SDL_MapRGB(surface_->format, r, g, b) : (0xFF000000u | r << 16 | g << 8 | b);
        }
    }

    // Draws a rectangle of the window from the picture, scaled.
    void blit(const PixelRect& w)
    {
        const PixelRect r{w.left, w.top, std::min(w.right, surface_->w), std::min(w.bottom, surface_->h)};
        if (r.empty()) return;
        if (SDL_MUSTLOCK(surface_)) SDL_LockSurface(surface_);
        auto* base = static_cast<uint8_t*>(surface_->pixels) + static_cast<size_t>(r.top) * surface_->pitch +
                     static_cast<size_t>(r.left) * surface_->format->BytesPerPixel;
        if (surface_->format->BytesPerPixel == 4 && surface_->pitch % 4 == 0) {
            scaled_.draw(screen_, r, reinterpret_cast<uint32_t*>(base),
                         static_cast<size_t>(surface_->pitch / 4), lut_.data(), lut_[0]);
        } else {
            // Other depths: drawn at 32 bits, then SDL converts (slower, and rare).
            const int rw = r.right - r.left, rh = r.bottom - r.top;
            std::vector<uint32_t> part(static_cast<size_t>(rw) * rh);
            scaled_.draw(screen_, r, part.data(), static_cast<size_t>(rw), lut_.data(), lut_[0]);
            SDL_ConvertPixels(rw, rh, SDL_PIXELFORMAT_ARGB8888, part.data(), rw * 4, surface_->format->format,
                              base, surface_->pitch);
        }
        if (SDL_MUSTLOCK(surface_)) SDL_UnlockSurface(surface_);
    }

    bool translate(const SDL_Event& e, Event& out)
    {
        out = Event{};
        using T = Event::Type;
        switch (e.type) {
            case SDL_QUIT: out.type = T::CloseRequest; return true;
            case SDL_DROPFILE:
                if (!e.drop.file) return false;
                out.type = T::DropFile;
                out.text = e.drop.file;
                SDL_free(e.drop.file);
                return true;
            case SDL_DROPCOMPLETE: out.type = T::DropDone; return true;
            case SDL_WINDOWEVENT:
                if (!window_ || e.window.windowID != SDL_GetWindowID(window_)) return false;
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: out.type = T::CloseRequest; return true;
                    case SDL_WINDOWEVENT_EXPOSED:
                        // The window system lost what it showed: all of it again.
                        dirty_.add(PixelRect{0, 0, fit_.width, fit_.height});
                        out.type = T::Paint;
                        return true;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        refit();
                        out.type = T::Resize;
                        out.x = fit_.width;
                        out.y = fit_.height;
                        return true;
                    default: return false;
                }
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                out.type = e.type == SDL_KEYDOWN ? T::KeyDown : T::KeyUp;
                out.key = keyFromSdl(e.key.keysym.sym);
                out.character =
                    out.key == Key::Other ? characterFromSdl(e.key.keysym.sym, e.key.keysym.mod) : 0;
                out.repeat = e.key.repeat != 0;
                return true;
            case SDL_MOUSEMOTION:
                out.type = T::MouseMove;
                out.x = fit_.toLogicalX(e.motion.x);
                out.y = fit_.toLogicalY(e.motion.y);
                return true;
            case SDL_MOUSEWHEEL: {
                // Whole notches only; a "natural" scrolling desktop turns them back.
                const int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                if (notches == 0) return false;
                out.type = T::MouseWheel;
                out.x = fit_.toLogicalX(e.wheel.mouseX);
                out.y = fit_.toLogicalY(e.wheel.mouseY);
                out.wheel = notches;
                return true;
            }
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (e.button.button != SDL_BUTTON_LEFT) return false;
                out.type = e.type == SDL_MOUSEBUTTONDOWN ? T::MouseDown : T::MouseUp;
                // SDL stamps with its own clock; how long ago is the same in ours.
                out.at = millis() - (SDL_GetTicks() - e.button.timestamp);
                out.x = fit_.toLogicalX(e.button.x);
                out.y = fit_.toLogicalY(e.button.y);
                return true;
            default:
                if (e.type == dialogDoneEvent_) {
                    out.type = T::DialogDone;
                    out.data = e.user.data1;
                    return true;
                }
                return false;
        }
    }

    static constexpr uint32_t kPumpIntervalMs = 4;
    static constexpr uint32_t kLivelyMs = 250;
    static constexpr int kLivelyWaitMs = 8;
    static constexpr int kStillWaitMs = 40;
    uint32_t lastActivity_ = 0;
    bool wholeWindowDue_ = false;  // after a refit: the border, too, is new
    uint32_t lastPump_ = 0;
    SDL_Window* window_ = nullptr;
    SDL_Surface* surface_ = nullptr;  // the window's own; SDL frees it
    ScreenCopy screen_;
    DirtyRects dirty_;
    WindowFit fit_;
    ScaledPicture scaled_;
    int stageSize_ = kStageSizeDefault;
    bool resizeDue_ = false;  // a new stage size: the program hears of it as of a resize
    uint32_t lastFlush_ = 0;
    long frames_ = 0;
    std::vector<uint32_t> lut_;
    Uint32 lutFormat_ = 0;
    Uint32 dialogDoneEvent_ = 0;
};

// The SDL key code and modifiers that type a key of a script.
bool sdlKeyOf(const Event& e, SDL_Keycode& code, Uint16& mod)
{
    mod = KMOD_NONE;
    switch (e.key) {
        case Key::Shift: code = SDLK_LSHIFT; return true;
        case Key::Control: code = SDLK_LCTRL; return true;
        case Key::Escape: code = SDLK_ESCAPE; return true;
        case Key::PageUp: code = SDLK_PAGEUP; return true;
        case Key::PageDown: code = SDLK_PAGEDOWN; return true;
        case Key::Left: code = SDLK_LEFT; return true;
        case Key::Right: code = SDLK_RIGHT; return true;
        case Key::Up: code = SDLK_UP; return true;
        case Key::Down: code = SDLK_DOWN; return true;
        case Key::Delete: code = SDLK_DELETE; return true;
        case Key::Return: code = SDLK_RETURN; return true;
        case Key::Other: break;
        case Key::None: return false;
        default:
            if (e.key >= Key::F1 && e.key <= Key::F12) {
                code = SDLK_F1 + (static_cast<int>(e.key) - static_cast<int>(Key::F1));
                return true;
            }
            if (e.key >= Key::Kp0 && e.key <= Key::Kp9) {
                static const SDL_Keycode pad[] = {SDLK_KP_0, SDLK_KP_1, SDLK_KP_2, SDLK_KP_3, SDLK_KP_4,
                                                  SDLK_KP_5, SDLK_KP_6, SDLK_KP_7, SDLK_KP_8, SDLK_KP_9};
                code = pad[static_cast<int>(e.key) - static_cast<int>(Key::Kp0)];
                return true;
            }
            return false;
    }
    const uint8_t c = e.character;
    if (c == '\b')
        code = SDLK_BACKSPACE;
    else if (c == '\t')
        code = SDLK_TAB;
    else if (c >= 'A' && c <= 'Z') {
        code = c + 32;
        mod = KMOD_LSHIFT;
    } else {
        static const unsigned char kPlain[] = "1234567890-=[]\\;',./`";
        static const unsigned char kShifted[] = "!@#$%^&*()_+{}|:\"<>?~";
        code = c;
        for (int i = 0; kShifted[i]; ++i)
            if (kShifted[i] == c) {
                code = kPlain[i];
                mod = KMOD_LSHIFT;
            }
    }
    return c != 0;
}

// The desktop window driven by a script: the script's mouse and key events
// go into SDL's own queue in window pixels, so they take the path a
// person's would; boxes and dialogs the script answers are not shown.
class ScriptedWindow : public Backend {
public:
    ScriptedWindow(std::unique_ptr<SdlBackend> window, std::unique_ptr<HeadlessBackend> script)
        : window_(std::move(window)), script_(std::move(script))
    {
        script_->setWindowPixels(true);
        script_->setScreenshotHook([this](const std::string& path) { return window_->saveScreenPng(path); });
        script_->setResizeHook([this](int w, int h) { window_->resize(w, h); });
    }
    const char* name() const override { return "sdl"; }
    bool openWindow(int kind, int w, int h, const std::string& t) override
    {
        const bool opened = window_->openWindow(kind, w, h, t);
        if (opened && kind != kWindowKindSplash) script_->startScriptClock();
        return opened;
    }
    void closeWindow() override { window_->closeWindow(); }
    bool hasWindow() const override { return window_->hasWindow(); }
    void setWindowTitle(const std::string& t) override { window_->setWindowTitle(t); }
    MonitorInfo monitorInfo() override { return window_->monitorInfo(); }
    void present(const uint16_t* p, int rb, int w, int h, int l, int t, int r, int b) override
    {
        window_->present(p, rb, w, h, l, t, r, b);
    }
    void flush() override { window_->flush(); }
    bool clientSize(int& w, int& h) override { return window_->clientSize(w, h); }
    void setStageSize(int size) override { window_->setStageSize(size); }
    WindowFit windowFit() const override { return window_->windowFit(); }
    bool windowPlacement(int& x, int& y, int& w, int& h, bool& maximised) override
    {
        return window_->windowPlacement(x, y, w, h, maximised);
    }
    void placeWindow(int x, int y) override { window_->placeWindow(x, y); }
    bool saveScreenPng(const std::string& path) override { return window_->saveScreenPng(path); }
    bool pollEvent(Event& event) override
    {
        feed();
        return window_->pollEvent(event) || takeOwn(event);
    }
    bool pollMouseEvent(Event& event) override
    {
        feed();
        return window_->pollMouseEvent(event);
    }
    bool pollInputEvent(Event& event) override
    {
        feed();
        if (window_->pollInputEvent(event)) return true;
        // The script's quit reaches whatever polls input (an open menu, a box).
        return !own_.empty() && own_.front().type == Event::Type::Terminate && takeOwn(event);
    }
    // Script lines fall due at most one wait late: the window's wait is short.
    void idleWait(int ms) override { window_->idleWait(ms); }
    void captureMouse(bool on) override { window_->captureMouse(on); }
    void postDialogDone(void* path) override { window_->postDialogDone(path); }
    int messageBox(const std::string& title, const std::string& text, int buttons, int icon) override
    {
        int answer = 0;
        // A held box is the window's own, waiting for a person.
        if (!script_->takeBoxAnswer(answer) || answer == HeadlessBackend::kBoxHold)
            return window_->messageBox(title, text, buttons, icon);
        script_->log("box [" + title + "] " + text + " -> " + std::to_string(answer));
        return answer;
    }
    // The program's own box: the script's answer, or its default when the
    // script gives none, as headless; a held one waits for the person.
    int boxOpened(const BoxNote& box) override
    {
        int answer = box.fallback;
        if (script_->takeBoxAnswer(answer) && answer == HeadlessBackend::kBoxHold) return 0;
        script_->log("box [" + box.title + "] " + box.text + " -> " + std::to_string(answer));
        return answer;
    }
    int choiceBox(const std::string& title, const std::string& text, const std::string& first,
                  const std::string& second, const std::string& third) override
    {
        int answer = 0;
        if (!script_->takeBoxAnswer(answer) || answer == HeadlessBackend::kBoxHold)
            return window_->choiceBox(title, text, first, second, third);
        script_->log("box [" + title + "] " + text + " -> " +
                     (answer == 1   ? first
                      : answer == 2 ? second
                                    : third));
        return answer;
    }
    bool fileDialog(const FileDialogRequest& request, std::string& chosen) override
    {
        std::optional<std::string> answer;
        uint32_t delay = 0;
        if (!script_->takeDialogAnswer(answer, delay)) return window_->fileDialog(request, chosen);
        sleepMs(static_cast<int>(delay));
        script_->log(std::string("dialog ") +
                     (request.folder ? "folder"
                      : request.save ? "save"
                                     : "open") +
                     " in " + request.initialFolder + " -> " + (answer ? *answer : "cancel"));
        if (!answer) return false;
        chosen = *answer;
        return true;
    }
    EntryAnswer textEntry(const TextEntryRequest& request, std::string& text) override
    {
        std::optional<std::string> answer;
        uint32_t delay = 0;
        if (!script_->takeEntryAnswer(answer, delay)) return window_->textEntry(request, text);
        sleepMs(static_cast<int>(delay));
        script_->log(HeadlessBackend::entryLine(request, answer));
        if (!answer) return EntryAnswer::cancelled;
        text = *answer;
        return EntryAnswer::ok;
    }
    bool openAddress(const std::string& address) override
    {
        script_->log("address " + address);
        return true;
    }

private:
    // The next script event that is due goes into SDL's queue; one at a
    // time, so that the program has taken it before a later line of the
    // script (a screenshot) runs. What SDL has no event for (the end of the
    // script) waits in `own_`.
    void feed()
    {
        Event e;
        if (own_.empty() && script_->pollEvent(e) && !inject(e)) own_.push_back(e);
    }
    bool takeOwn(Event& event)
    {
        if (own_.empty()) return false;
        event = own_.front();
        own_.erase(own_.begin());
        return true;
    }
    bool inject(const Event& e)
    {
        using T = Event::Type;
        SDL_Event s{};
        switch (e.type) {
            case T::MouseMove:
                s.type = SDL_MOUSEMOTION;
                s.motion.x = e.x;
                s.motion.y = e.y;
                break;
            case T::MouseWheel:
                s.type = SDL_MOUSEWHEEL;
                s.wheel.mouseX = e.x;
                s.wheel.mouseY = e.y;
                s.wheel.y = e.wheel;
                s.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
                break;
            case T::MouseDown:
            case T::MouseUp:
                s.type = e.type == T::MouseDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
                s.button.button = SDL_BUTTON_LEFT;
                s.button.x = e.x;
                s.button.y = e.y;
                break;
            case T::KeyDown:
            case T::KeyUp: {
                SDL_Keycode code;
                Uint16 mod;
                if (!sdlKeyOf(e, code, mod)) return true;  // a key the desktop cannot type
                s.type = e.type == T::KeyDown ? SDL_KEYDOWN : SDL_KEYUP;
                s.key.keysym.sym = code;
                s.key.keysym.mod = mod;
                s.key.repeat = e.repeat ? 1 : 0;
                break;
            }
            case T::CloseRequest: s.type = SDL_QUIT; break;
            default: return false;
        }
        return SDL_PushEvent(&s) == 1;
    }

    std::unique_ptr<SdlBackend> window_;
    std::unique_ptr<HeadlessBackend> script_;
    std::vector<Event> own_;
};

}  // namespace

std::unique_ptr<Backend> makeScriptedSdlBackend(std::unique_ptr<Backend> sdl,
                                                std::unique_ptr<HeadlessBackend> script)
{
    auto* window = dynamic_cast<SdlBackend*>(sdl.get());
    if (!window || !script) return nullptr;
    std::unique_ptr<SdlBackend> owned(static_cast<SdlBackend*>(sdl.release()));
    return std::make_unique<ScriptedWindow>(std::move(owned), std::move(script));
}

void sdlDropInputFrom(uint32_t ticks)
{
    SDL_PumpEvents();
    SDL_FilterEvents(dropInput, &ticks);
}

long sdlFramesShown(Backend& backend)
{
    auto* sdl = dynamic_cast<SdlBackend*>(&backend);
    return sdl ? sdl->frames() : 0;
}

bool readSdlWindowRgb(Backend& backend, std::vector<uint8_t>& rgb, int& width, int& height)
{
    auto* sdl = dynamic_cast<SdlBackend*>(&backend);
    return sdl && sdl->readPixels(rgb, width, height);
}

bool resizeSdlWindow(Backend& backend, int width, int height)
{
    auto* sdl = dynamic_cast<SdlBackend*>(&backend);
    return sdl && sdl->resize(width, height);
}

std::unique_ptr<Backend> makeSdlBackend(std::string& error)
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // On X11 the window's own shared-memory picture takes changed rectangles
    // alone; a texture would send the whole window through OpenGL each time.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error = SDL_GetError();
        return nullptr;
    }
    return std::make_unique<SdlBackend>();
}

}  // namespace plat
