// A backend without a display: events come from a timed script (or from a
// test in the same process), modal boxes, file dialogs and text entries are
// answered from queues, and the window's picture can be saved as PNG.
//
// The monitor and window sizes are window pixels: the program's picture is
// scaled and centred as on the desktop (fitWindow, ScaledPicture), and mouse
// positions in scripts are window pixels too. Until the program chooses a
// stage size, the stage shows at its own size unless setDefaultStageSize
// says otherwise (`--screen` asks the window's fit, as on a desktop), so the
// scripts written for a 1024 x 768 window with the stage at (192, 144) stay true.
//
// Script lines (one command each, '#' starts a comment):
//   wait MS                 later commands happen MS milliseconds after this point
//                           (a script's time starts when the program's window opens,
//                           so that start-up, however long, takes none of it)
//   keydown KEY [repeat]    KEY: a character (q, Q, 5, /) or shift ctrl esc pageup
//   keyup KEY                    pagedown f1..f12 left right up down delete return
//   press KEY                    kp0..kp9 space tab backspace
//   ctrl KEY                Control held around a press of KEY
//   down X Y | up X Y | move X Y | click X Y
//   drag X1 Y1 X2 Y2 [STEPS]
//   wheel X Y NOTCHES       the mouse wheel turned over X Y (away from the user: above 0)
//   close                   the window's close button
//   drop PATH               a file or folder dropped on the window
//   resize W H              the window's new size (kept to what the display holds)
//   box ok|yes|no|cancel [MS]  the answer to the next modal box, given MS
//                           milliseconds after the box is shown (as a person
//                           takes a moment; the log says when it was shown)
//   box hold                the next modal box waits (as a person away would)
//                           until the program is told to end (a signal)
//                           A box the program draws itself (once its skin is
//                           loaded) is drawn all the same; while it waits, keys
//                           and clicks answer it, and a held one takes the
//                           script's next box answer too.
//   dialog PATH | dialog cancel   the answer to the next file dialog
//   dialog external         the next file dialog runs the desktop's own
//                           dialog program (zenity, kdialog) as the window does
//   entry TEXT | entry cancel   the answer to the next text entry (a new name):
//                           TEXT to the end of the line, as if typed and confirmed
//   screenshot PATH         saves what the window shows now
//   quit                    ends the program without asking (like SIGTERM), once a
//                           file dialog under way and its answer are done
//   waitsize BYTES PATH     later commands wait until the file PATH holds at least
//                           BYTES (a capture of sound, a file being written); after
//                           60 s the script goes on and the log says so
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatScreen.h"
#include "platform/Platform.h"

namespace plat {

class HeadlessBackend : public Backend {
public:
    struct BoxRecord {
        std::string title;
        std::string text;
        int buttons;
        int answer;
    };

    HeadlessBackend(int monitorWidth = 1024, int monitorHeight = 768);

    const char* name() const override { return "headless"; }
    bool openWindow(int kind, int width, int height, const std::string& title) override;
    void closeWindow() override;
    bool hasWindow() const override { return window_; }
    void setWindowTitle(const std::string& title) override;
    MonitorInfo monitorInfo() override;
    void present(const uint16_t* pixels, int rowBytes, int width, int height, int left, int top, int right,
                 int bottom) override;
    bool clientSize(int& width, int& height) override;
    void setStageSize(int size) override;
    WindowFit windowFit() const override { return fit_; }
    bool windowPlacement(int& x, int& y, int& width, int& height, bool& maximised) override;
    // What kStageSizeDefault shows (100 unless set).
    void setDefaultStageSize(int size) { defaultStageSize_ = size; }
    bool saveScreenPng(const std::string& path) override;
    bool pollEvent(Event& event) override;
    bool pollMouseEvent(Event& event) override;
    bool pollInputEvent(Event& event) override;
    void captureMouse(bool on) override { captured_ = on; }
    void postDialogDone(void* path) override;
    int messageBox(const std::string& title, const std::string& text, int buttons, int icon) override;
    // Answered like a Yes/No/Cancel box (unanswered: the third button); the
    // log names the button.
    int choiceBox(const std::string& title, const std::string& text, const std::string& first,
                  const std::string& second, const std::string& third) override;
    // The program's own boxes: answered from the same queue; a held or a
    // delayed answer lets the box wait, and keys and clicks answer it then.
    int boxOpened(const BoxNote& box) override;
    int boxPending() override;
    void boxClosed(const BoxNote& box, int answer) override;
    bool fileDialog(const FileDialogRequest& request, std::string& chosen) override;
    // Answered from its own queue (unanswered: cancelled), and logged.
    EntryAnswer textEntry(const TextEntryRequest& request, std::string& text) override;
    bool openAddress(const std::string& address) override;
    void interruptModal() override;
    void note(const std::string& line) override { log(line); }

    // Test side. Events become due `delayMs` after the previous one pushed
    // (or after now, when that has passed).
    void push(const Event& event, uint32_t delayMs = 0);
    void pushAction(std::function<void()> action, uint32_t delayMs = 0, bool boxAnswer = false);
    // An event that happens now, before what the script has planned for later.
    void pushNow(const Event& event);
    // kBoxHold: the box waits until interruptModal.
    static constexpr int kBoxHold = -1;
    void queueBoxAnswer(int answer, uint32_t afterMs = 0);
    // The answer to the next file dialog, given `delayMs` after it opened
    // (a person takes a moment).
    void queueDialogAnswer(std::optional<std::string> systemPath, uint32_t delayMs = 0);
    void queueExternalDialog();
    // The answer to the next text entry (nullopt: cancelled), given `delayMs` after it opened.
    void queueEntryAnswer(std::optional<std::string> text, uint32_t delayMs = 0);
    bool loadScript(const std::string& path, std::string& error);
    bool parseScript(const std::string& text, std::string& error);
    // Appends a line for every box, dialog, address and screenshot.
    void setLogFile(const std::string& path);

    // A script can drive another backend (the desktop window): its
    // screenshots and resizes go to these instead, and its box and dialog
    // answers are taken from here.
    void setScreenshotHook(std::function<bool(const std::string&)> hook)
    {
        screenshotHook_ = std::move(hook);
    }
    // True while the program has work under way that a script's quit waits for.
    void setBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }
    void setResizeHook(std::function<void(int, int)> hook) { resizeHook_ = std::move(hook); }
    // Mouse positions stay in window pixels (the other backend maps them).
    void setWindowPixels(bool on) { windowPixels_ = on; }
    bool takeBoxAnswer(int& answer);
    // The script's clock starts now: what it planned before is moved by the
    // time that has passed since it was read (once; the first window calls it).
    void startScriptClock();
    bool takeDialogAnswer(std::optional<std::string>& systemPath, uint32_t& delayMs);
    bool takeEntryAnswer(std::optional<std::string>& text, uint32_t& delayMs);
    // The log's line for an entry asked and how it was answered.
    static std::string entryLine(const TextEntryRequest& request, const std::optional<std::string>& text);
    void log(const std::string& line);
    // How the window shows the picture now.
    const WindowFit& fit() const { return fit_; }

    std::vector<BoxRecord> boxes() const;
    std::vector<FileDialogRequest> dialogs() const;
    std::vector<TextEntryRequest> entries() const;
    std::string title() const;
    const ScreenCopy& screen() const { return screen_; }
    bool mouseCaptured() const { return captured_; }
    size_t pending() const;
    // The client size of the window that the next openWindow gets (kind 1
    // takes the monitor's size otherwise).
    void setClientSize(int width, int height);

private:
    // The queued answer (or the fallback); a held box waits for interruptModal.
    int answerBox(const std::string& title, const std::string& text, int buttons, int fallback);
    struct Item {
        Item(uint32_t d, Event e, std::function<void()> a, bool s = false)
            : due(d), event(e), action(std::move(a)), scripted(s)
        {
        }
        uint32_t due;
        Event event;
        std::function<void()> action;
        bool scripted = false;   // read from a script before its clock started: waits for it
        bool boxAnswer = false;  // a box's answer: taken early by a box shown before it ran
        // A gate: what comes after it waits until this is true, then keeps its
        // own spacing from the moment it opened.
        std::function<bool()> ready;
        uint32_t giveUp = 0;  // the gate opens anyway then (set when it falls due)
    };
    enum class Take { All, Mouse, Input };
    bool takeDue(Take which, Event& out);
    void resizeWindow(int width, int height);

    int monitorWidth_, monitorHeight_;
    int clientWidth_ = 0, clientHeight_ = 0;
    bool window_ = false;
    bool captured_ = false;
    std::string title_;
    ScreenCopy screen_;
    WindowFit fit_;
    ScaledPicture scaled_;
    int stageSize_ = kStageSizeDefault;
    int defaultStageSize_ = 100;
    int windowWidth_ = 0, windowHeight_ = 0;
    std::function<bool(const std::string&)> screenshotHook_;
    std::function<bool()> busy_;
    std::function<void(int, int)> resizeHook_;

    mutable std::mutex mutex_;  // the queue: dialog threads post into it
    std::deque<Item> queue_;
    bool scriptBegun_ = false;  // a line of the script was taken
    uint32_t lastDue_ = 0;
    struct BoxAnswer {
        int answer;
        uint32_t afterMs;
    };
    std::deque<BoxAnswer> boxAnswers_;
    // The program's box that waits: its answer and when it falls due.
    std::optional<BoxAnswer> boxWait_;
    int boxFallback_ = kBoxResultOk;
    // The script's answer to the box being shown (the fallback without one).
    BoxAnswer planBox(int fallback);
    struct DialogAnswer {
        std::optional<std::string> path;
        uint32_t delayMs;
        bool external = false;
    };
    std::condition_variable interrupted_;
    bool interrupt_ = false;
    std::deque<DialogAnswer> dialogAnswers_;
    struct QueuedEntry {
        std::optional<std::string> text;
        uint32_t delayMs;
    };
    std::deque<QueuedEntry> entryAnswers_;
    std::vector<TextEntryRequest> entries_;
    std::vector<BoxRecord> boxes_;
    std::vector<FileDialogRequest> dialogs_;
    std::string logPath_;
    uint32_t scriptRead_ = 0;
    bool clockStarted_ = false;
    bool parsing_ = false;
    bool windowPixels_ = false;
};

}  // namespace plat
