// The desktop backend: an SDL2 window that shows the 15-bit screen image
// through a streaming texture, scaled by a whole factor on large windows.
#include "platform/PlatSdl.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

#include "platform/PlatDialogs.h"
#include "platform/PlatScreen.h"

namespace plat {

namespace {

constexpr int kStageWidth = 640;
constexpr int kStageHeight = 480;

Key keyFromSdl(SDL_Keycode k)
{
    switch (k) {
        case SDLK_LSHIFT: case SDLK_RSHIFT: return Key::Shift;
        case SDLK_LCTRL: case SDLK_RCTRL: return Key::Control;
        case SDLK_ESCAPE: return Key::Escape;
        case SDLK_PAGEUP: return Key::PageUp;
        case SDLK_PAGEDOWN: return Key::PageDown;
        case SDLK_LEFT: return Key::Left;
        case SDLK_RIGHT: return Key::Right;
        case SDLK_UP: return Key::Up;
        case SDLK_DOWN: return Key::Down;
        case SDLK_DELETE: return Key::Delete;
        case SDLK_RETURN: case SDLK_KP_ENTER: return Key::Return;
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
            case 3: case 4: break;
            case kWindowKindSplash: flags |= SDL_WINDOW_BORDERLESS; break;
            default: return false;
        }
        if (kind == 1) {
            // Maximised over the usable area; the size asked is only where it starts.
            SDL_Rect usable;
            if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
                width = std::min(width, usable.w);
                height = std::min(height, usable.h);
            }
        }
        window_ = SDL_CreateWindow(title.c_str(), x, y, std::max(width, 1), std::max(height, 1), flags);
        if (!window_) {
            logLine(std::string("cannot open a window: ") + SDL_GetError());
            return false;
        }
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) {
            logLine(std::string("cannot draw into the window: ") + SDL_GetError());
            closeWindow();
            return false;
        }
        updateScale();
        return true;
    }

    void closeWindow() override
    {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        texture_ = nullptr;
        renderer_ = nullptr;
        window_ = nullptr;
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
        return MonitorInfo{static_cast<int16_t>(mode.w), static_cast<int16_t>(mode.h),
                           static_cast<int16_t>(SDL_BITSPERPIXEL(mode.format))};
    }

    void present(const uint16_t* pixels, int rowBytes, int width, int height, int left, int top, int right,
                 int bottom) override
    {
        if (!window_) return;
        screen_.update(pixels, rowBytes, width, height, left, top, right, bottom);
        if (!texture_) return;
        SDL_UpdateTexture(texture_, nullptr, screen_.pixels().data(), screen_.width() * 2);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_Rect dest{0, 0, screen_.width() * scale_, screen_.height() * scale_};
        SDL_RenderCopy(renderer_, texture_, nullptr, &dest);
        SDL_RenderPresent(renderer_);
    }

    bool saveScreenPng(const std::string& path) override { return screen_.savePng(path); }

    bool pollEvent(Event& event) override
    {
        // Asking the window system costs more than the rest of an idle pass;
        // a few milliseconds between asks is below what a hand can feel.
        const uint32_t now = millis();
        if (now - lastPump_ >= kPumpIntervalMs) {
            SDL_PumpEvents();
            lastPump_ = now;
        }
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
            if (translate(e, event)) return true;
        }
        return false;
    }

    bool pollMouseEvent(Event& event) override
    {
        SDL_PumpEvents();
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEBUTTONUP) == 1) {
            if (translate(e, event)) return true;
        }
        return false;
    }

    void idleWait(int ms) override { sleepMs(ms); }

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
        if (SDL_ShowMessageBox(&box, &hit) != 0 || hit < 0) {
            logLine(title + ": " + text);
            hit = buttons == kBoxOk ? kBoxResultOk : buttons == kBoxYesNo ? kBoxResultNo : kBoxResultCancel;
        }
        return hit;
    }

    bool fileDialog(const FileDialogRequest& request, std::string& chosen) override
    {
        return runExternalFileDialog(request, chosen);
    }

    bool openAddress(const std::string& address) override { return runExternalOpen(address); }

    bool readPixels(std::vector<uint8_t>& rgb, int& width, int& height)
    {
        if (!renderer_) return false;
        if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) return false;
        rgb.assign(static_cast<size_t>(width) * height * 3, 0);
        return SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB24, rgb.data(), width * 3) == 0;
    }

    bool resize(int width, int height)
    {
        if (!window_) return false;
        SDL_SetWindowSize(window_, width, height);
        return true;
    }

private:
    void updateScale()
    {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        scale_ = std::max(1, std::min(w / kStageWidth, h / kStageHeight));
        const int lw = std::max(w / scale_, 1), lh = std::max(h / scale_, 1);
        if (lw != screen_.width() || lh != screen_.height() || !texture_) {
            screen_.resize(lw, lh);
            if (texture_) SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB555, SDL_TEXTUREACCESS_STREAMING, lw, lh);
        }
    }

    bool translate(const SDL_Event& e, Event& out)
    {
        out = Event{};
        using T = Event::Type;
        switch (e.type) {
            case SDL_QUIT: out.type = T::CloseRequest; return true;
            case SDL_WINDOWEVENT:
                if (!window_ || e.window.windowID != SDL_GetWindowID(window_)) return false;
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: out.type = T::CloseRequest; return true;
                    case SDL_WINDOWEVENT_EXPOSED: out.type = T::Paint; return true;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        updateScale();
                        out.type = T::Resize;
                        out.x = screen_.width();
                        out.y = screen_.height();
                        return true;
                    default: return false;
                }
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                out.type = e.type == SDL_KEYDOWN ? T::KeyDown : T::KeyUp;
                out.key = keyFromSdl(e.key.keysym.sym);
                out.character = out.key == Key::Other ? characterFromSdl(e.key.keysym.sym, e.key.keysym.mod) : 0;
                out.repeat = e.key.repeat != 0;
                return true;
            case SDL_MOUSEMOTION:
                out.type = T::MouseMove;
                out.x = e.motion.x / scale_;
                out.y = e.motion.y / scale_;
                return true;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (e.button.button != SDL_BUTTON_LEFT) return false;
                out.type = e.type == SDL_MOUSEBUTTONDOWN ? T::MouseDown : T::MouseUp;
                out.x = e.button.x / scale_;
                out.y = e.button.y / scale_;
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
    uint32_t lastPump_ = 0;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    ScreenCopy screen_;
    int scale_ = 1;
    Uint32 dialogDoneEvent_ = 0;
};

}  // namespace

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
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error = SDL_GetError();
        return nullptr;
    }
    return std::make_unique<SdlBackend>();
}

}  // namespace plat
