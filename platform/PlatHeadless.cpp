#include "platform/PlatHeadless.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/PlatDialogs.h"

namespace plat {

namespace {

constexpr uint32_t kGateGiveUpMs = 60000;

using T = Event::Type;

bool isMouse(T t)
{
    return t == T::MouseDown || t == T::MouseUp || t == T::MouseMove;
}
bool isKey(T t)
{
    return t == T::KeyDown || t == T::KeyUp;
}

const char* answerName(int a)
{
    switch (a) {
        case 1: return "yes/ok";
        case 2: return "no";
        case 3: return "cancel";
        default: return "?";
    }
}

struct NamedKey {
    const char* name;
    Key key;
    uint8_t character;
};

const NamedKey kNamedKeys[] = {
    {"shift", Key::Shift, 0},
    {"ctrl", Key::Control, 0},
    {"esc", Key::Escape, 0},
    {"pageup", Key::PageUp, 0},
    {"pagedown", Key::PageDown, 0},
    {"f1", Key::F1, 0},
    {"f2", Key::F2, 0},
    {"f3", Key::F3, 0},
    {"f4", Key::F4, 0},
    {"f5", Key::F5, 0},
    {"f6", Key::F6, 0},
    {"f7", Key::F7, 0},
    {"f8", Key::F8, 0},
    {"f9", Key::F9, 0},
    {"f10", Key::F10, 0},
    {"f11", Key::F11, 0},
    {"f12", Key::F12, 0},
    {"left", Key::Left, 0},
    {"right", Key::Right, 0},
    {"up", Key::Up, 0},
    {"down", Key::Down, 0},
    {"delete", Key::Delete, 0},
    {"return", Key::Return, 0},
    {"kp0", Key::Kp0, 0},
    {"kp1", Key::Kp1, 0},
    {"kp2", Key::Kp2, 0},
    {"kp3", Key::Kp3, 0},
    {"kp4", Key::Kp4, 0},
    {"kp5", Key::Kp5, 0},
    {"kp6", Key::Kp6, 0},
    {"kp7", Key::Kp7, 0},
    {"kp8", Key::Kp8, 0},
    {"kp9", Key::Kp9, 0},
    {"space", Key::Other, ' '},
    {"tab", Key::Other, '\t'},
    {"backspace", Key::Other, '\b'},
};

bool parseKey(const std::string& word, Event& e)
{
    for (const NamedKey& k : kNamedKeys) {
        if (word == k.name) {
            e.key = k.key;
            e.character = k.character;
            return true;
        }
    }
    if (word.size() == 1) {
        e.key = Key::Other;
        e.character = static_cast<uint8_t>(word[0]);
        return true;
    }
    return false;
}

Event keyEvent(T type, const Event& key, bool repeat = false)
{
    Event e = key;
    e.type = type;
    e.repeat = repeat;
    return e;
}

Event mouseEvent(T type, int x, int y)
{
    Event e;
    e.type = type;
    e.x = x;
    e.y = y;
    return e;
}

}  // namespace

HeadlessBackend::HeadlessBackend(int monitorWidth, int monitorHeight)
    : monitorWidth_(monitorWidth), monitorHeight_(monitorHeight)
{
}

void HeadlessBackend::setClientSize(int width, int height)
{
    clientWidth_ = width;
    clientHeight_ = height;
}

bool HeadlessBackend::openWindow(int kind, int width, int height, const std::string& title)
{
    window_ = true;
    title_ = title;
    int w = width, h = height;
    if (kind == 1 || kind == 2) {
        w = clientWidth_ > 0 ? clientWidth_ : monitorWidth_;
        h = clientHeight_ > 0 ? clientHeight_ : monitorHeight_;
    }
    resizeWindow(w, h);
    if (kind != kWindowKindSplash) startScriptClock();
    if (kind != kWindowKindSplash) {
        // A new window reports its size and asks to be painted, as a desktop one does.
        Event r;
        r.type = T::Resize;
        r.x = fit_.width;
        r.y = fit_.height;
        std::lock_guard<std::mutex> lock(mutex_);
        const uint32_t now = millis();
        queue_.push_front(Item{now, Event{.type = T::Paint}, {}});
        queue_.push_front(Item{now, r, {}});
    }
    return true;
}

void HeadlessBackend::closeWindow()
{
    window_ = false;
    title_.clear();
}

void HeadlessBackend::resizeWindow(int width, int height)
{
    fit_ = fitWindow(width, height, monitorWidth_, monitorHeight_,
                     stageSize_ == kStageSizeDefault ? defaultStageSize_ : stageSize_);
    scaled_.setFit(fit_);
    windowWidth_ = fit_.windowWidth;
    windowHeight_ = fit_.windowHeight;
    screen_.resize(fit_.width, fit_.height);
}

void HeadlessBackend::setStageSize(int size)
{
    stageSize_ = size;
    if (!window_) return;
    const WindowFit before = fit_;
    // Grown to the size asked where the monitor allows.
    const int shown = size == kStageSizeDefault ? defaultStageSize_ : size;
    resizeWindow(std::max(windowWidth_, std::min(stageSizeWindowWidth(shown), monitorWidth_)),
                 std::max(windowHeight_, std::min(stageSizeWindowHeight(shown), monitorHeight_)));
    char line[120];
    std::snprintf(line, sizeof line, "stage size %d: %dx%d window, the stage at %.3g", size, fit_.windowWidth,
                  fit_.windowHeight, fit_.scale());
    log(line);
    if (fit_.width == before.width && fit_.height == before.height && fit_.num == before.num &&
        fit_.den == before.den)
        return;
    Event r;
    r.type = T::Resize;
    r.x = fit_.width;
    r.y = fit_.height;
    pushNow(r);
}

bool HeadlessBackend::windowPlacement(int& x, int& y, int& width, int& height, bool& maximised)
{
    if (!window_) return false;
    x = y = 0;
    width = windowWidth_;
    height = windowHeight_;
    maximised = width >= monitorWidth_ && height >= monitorHeight_;
    return true;
}

bool HeadlessBackend::clientSize(int& width, int& height)
{
    if (!window_) return false;
    width = fit_.width;
    height = fit_.height;
    return true;
}

void HeadlessBackend::setWindowTitle(const std::string& title)
{
    title_ = title;
}

std::string HeadlessBackend::title() const
{
    return title_;
}

MonitorInfo HeadlessBackend::monitorInfo()
{
    return MonitorInfo{static_cast<int16_t>(monitorWidth_), static_cast<int16_t>(monitorHeight_), 32};
}

void HeadlessBackend::present(const uint16_t* pixels, int rowBytes, int width, int height, int left, int top,
                              int right, int bottom)
{
    if (!window_) return;
    screen_.update(pixels, rowBytes, width, height, left, top, right, bottom);
}

bool HeadlessBackend::saveScreenPng(const std::string& path)
{
    const bool ok = scaled_.savePng(screen_, path);
    log(std::string("screenshot ") + path + (ok ? "" : " failed"));
    return ok;
}

void HeadlessBackend::push(const Event& event, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t now = millis();
    const uint32_t base = static_cast<int32_t>(lastDue_ - now) > 0 ? lastDue_ : now;
    lastDue_ = base + delayMs;
    queue_.push_back(Item{lastDue_, event, {}, parsing_ && !clockStarted_});
}

void HeadlessBackend::pushAction(std::function<void()> action, uint32_t delayMs, bool boxAnswer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t now = millis();
    const uint32_t base = static_cast<int32_t>(lastDue_ - now) > 0 ? lastDue_ : now;
    lastDue_ = base + delayMs;
    queue_.push_back(Item{lastDue_, Event{}, std::move(action), parsing_ && !clockStarted_});
    queue_.back().boxAnswer = boxAnswer;
}

bool HeadlessBackend::takeDue(Take which, Event& out)
{
    // Mouse positions come in window pixels; the program sees logical ones.
    auto logical = [this](Event& e) {
        if ((isMouse(e.type) || e.type == T::MouseWheel) && !windowPixels_) {
            e.x = fit_.toLogicalX(e.x);
            e.y = fit_.toLogicalY(e.y);
        }
    };
    for (;;) {
        std::function<void()> action;
        // Asked before the queue is locked: the program's answer may take
        // locks of its own that are held while a dialog's answer is queued.
        const bool busy = busy_ && busy_();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const uint32_t now = millis();
            // What a script planned waits for its clock (the program's window).
            auto due = [this, now](const Item& i) {
                return (!i.scripted || clockStarted_) && static_cast<int32_t>(now - i.due) >= 0;
            };
            // A script's quit waits for work it started to end: a file
            // dialog under way or its answer not yet handled.
            auto dialogDone = [this] {
                return std::find_if(queue_.begin(), queue_.end(),
                                    [](const Item& i) { return i.event.type == T::DialogDone; });
            };
            auto held = [&](const Item& i) {
                return i.scripted && i.event.type == T::Terminate && !i.action &&
                       (busy || dialogDone() != queue_.end());
            };
            // A gate that opens lets what follows keep its spacing from now.
            while (!queue_.empty() && queue_.front().ready && due(queue_.front())) {
                Item& gate = queue_.front();
                if (gate.giveUp == 0) gate.giveUp = (now + kGateGiveUpMs) | 1;
                const bool late = static_cast<int32_t>(now - gate.giveUp) >= 0;
                if (!gate.ready() && !late) break;
                if (late && !gate.ready()) log("waitsize: gave up waiting");
                const uint32_t shift = now - gate.due;
                queue_.pop_front();
                for (Item& item : queue_)
                    if (item.scripted || clockStarted_) item.due += shift;
                lastDue_ += shift;
            }
            const bool gated = !queue_.empty() && queue_.front().ready && due(queue_.front());
            if (which != Take::All) {
                // Other messages stay queued; what the script does in between
                // (a screenshot, an answer) happens in its turn.
                bool ran = false;
                for (auto it = queue_.begin(); it != queue_.end() && due(*it) && !held(*it) && !it->ready;
                     ++it) {
                    if (it->action) {
                        action = std::move(it->action);
                        scriptBegun_ = scriptBegun_ || it->scripted;
                        queue_.erase(it);
                        ran = true;
                        break;
                    }
                    // A quit reaches whatever polls input (an open menu), too.
                    const bool input = isKey(it->event.type) || it->event.type == T::Terminate;
                    if (isMouse(it->event.type) || (which == Take::Input && input)) {
                        out = it->event;
                        out.at = it->due;
                        scriptBegun_ = scriptBegun_ || it->scripted;
                        queue_.erase(it);
                        logical(out);
                        return true;
                    }
                }
                if (!ran) return false;
            } else {
                if (queue_.empty() || !due(queue_.front())) return false;
                auto at = queue_.begin();
                if (gated || held(*at)) {
                    // The program's own messages (a dialog's answer) still pass.
                    at = gated ? std::find_if(queue_.begin(), queue_.end(),
                                              [](const Item& i) { return !i.scripted && !i.ready; })
                               : dialogDone();
                    if (at == queue_.end() || (gated && !due(*at))) return false;
                }
                Item item = std::move(*at);
                queue_.erase(at);
                scriptBegun_ = scriptBegun_ || item.scripted;
                if (!item.action) {
                    out = item.event;
                    out.at = item.due;
                    logical(out);
                    return true;
                }
                action = std::move(item.action);
            }
        }
        action();  // outside the lock: an action may push
    }
}

bool HeadlessBackend::pollEvent(Event& event)
{
    return takeDue(Take::All, event);
}

bool HeadlessBackend::pollMouseEvent(Event& event)
{
    return takeDue(Take::Mouse, event);
}

bool HeadlessBackend::pollInputEvent(Event& event)
{
    return takeDue(Take::Input, event);
}

void HeadlessBackend::startScriptClock()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (clockStarted_) return;
    clockStarted_ = true;
    const uint32_t shift = millis() - scriptRead_;
    for (Item& item : queue_) item.due += shift;
    lastDue_ += shift;
}

bool HeadlessBackend::takeBoxAnswer(int& answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (boxAnswers_.empty()) return false;
    answer = boxAnswers_.front().answer;
    boxAnswers_.pop_front();
    return true;
}

bool HeadlessBackend::takeDialogAnswer(std::optional<std::string>& systemPath, uint32_t& delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (dialogAnswers_.empty()) return false;
    systemPath = dialogAnswers_.front().path;
    delayMs = dialogAnswers_.front().delayMs;
    dialogAnswers_.pop_front();
    return true;
}

bool HeadlessBackend::takeEntryAnswer(std::optional<std::string>& text, uint32_t& delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (entryAnswers_.empty()) return false;
    text = entryAnswers_.front().text;
    delayMs = entryAnswers_.front().delayMs;
    entryAnswers_.pop_front();
    return true;
}

std::string HeadlessBackend::entryLine(const TextEntryRequest& request,
                                       const std::optional<std::string>& text)
{
    return "entry [" + request.title + "] " + request.initial + " -> " + (text ? *text : "cancel");
}

void HeadlessBackend::pushNow(const Event& event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Comes in message order with whatever is due now; scripted events stay later.
    auto it = queue_.begin();
    const uint32_t now = millis();
    while (it != queue_.end() && static_cast<int32_t>(now - it->due) >= 0) ++it;
    queue_.insert(it, Item{now, event, {}});
}

void HeadlessBackend::postDialogDone(void* path)
{
    Event e;
    e.type = T::DialogDone;
    e.data = path;
    pushNow(e);
}

void HeadlessBackend::queueBoxAnswer(int answer, uint32_t afterMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    boxAnswers_.push_back({answer, afterMs});
}

void HeadlessBackend::queueDialogAnswer(std::optional<std::string> systemPath, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    dialogAnswers_.push_back(DialogAnswer{std::move(systemPath), delayMs});
}

void HeadlessBackend::queueExternalDialog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    dialogAnswers_.push_back(DialogAnswer{std::nullopt, 0, true});
}

void HeadlessBackend::queueEntryAnswer(std::optional<std::string> text, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entryAnswers_.push_back(QueuedEntry{std::move(text), delayMs});
}

HeadlessBackend::BoxAnswer HeadlessBackend::planBox(int fallback)
{
    BoxAnswer plan{fallback, 0};
    // A box shown as the program starts, before the script's first
    // lines ran: a box answer due first in the script is its answer.
    std::function<void()> early;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto first =
            std::find_if(queue_.begin(), queue_.end(), [](const Item& i) { return i.scripted; });
        if (!scriptBegun_ && boxAnswers_.empty() && first != queue_.end() && first->boxAnswer &&
            clockStarted_ && static_cast<int32_t>(millis() - first->due) >= 0) {
            early = std::move(first->action);
            queue_.erase(first);
        }
    }
    if (early) early();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!boxAnswers_.empty()) {
        plan = boxAnswers_.front();
        boxAnswers_.pop_front();
    }
    return plan;
}

int HeadlessBackend::answerBox(const std::string& title, const std::string& text, int buttons, int fallback)
{
    const BoxAnswer plan = planBox(fallback);
    int answer = plan.answer;
    if (answer == kBoxHold || plan.afterMs > 0) {
        log("box [" + title + "] " + text + " -> " + (answer == kBoxHold ? "holding" : "shown"));
        std::unique_lock<std::mutex> lock(mutex_);
        if (answer == kBoxHold) {
            interrupted_.wait(lock, [this] { return interrupt_; });
            answer = fallback;
        } else if (interrupted_.wait_for(lock, std::chrono::milliseconds(plan.afterMs),
                                         [this] { return interrupt_; })) {
            answer = fallback;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(BoxRecord{title, text, buttons, answer});
    return answer;
}

int HeadlessBackend::boxOpened(const BoxNote& box)
{
    const BoxAnswer plan = planBox(box.fallback);
    if (plan.answer != kBoxHold && plan.afterMs == 0) return plan.answer;
    log("box [" + box.title + "] " + box.text + " -> " + (plan.answer == kBoxHold ? "holding" : "shown"));
    std::lock_guard<std::mutex> lock(mutex_);
    boxWait_ = BoxAnswer{plan.answer, millis() + plan.afterMs};
    boxFallback_ = box.fallback;
    return 0;
}

int HeadlessBackend::boxPending()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!boxWait_) return 0;
    if (interrupt_) return boxFallback_;
    if (boxWait_->answer != kBoxHold)
        return static_cast<int32_t>(millis() - boxWait_->afterMs) >= 0 ? boxWait_->answer : 0;
    // A held box takes the script's next answer, when one comes.
    if (boxAnswers_.empty() || boxAnswers_.front().answer == kBoxHold) return 0;
    const int answer = boxAnswers_.front().answer;
    boxAnswers_.pop_front();
    return answer;
}

void HeadlessBackend::boxClosed(const BoxNote& box, int answer)
{
    const bool named = box.buttons < 0;
    log("box [" + box.title + "] " + box.text + " -> " +
        (named && answer >= 1 && answer <= 3 ? box.names[answer - 1] : answerName(answer)));
    std::lock_guard<std::mutex> lock(mutex_);
    boxWait_.reset();
    const int buttons = !named ? box.buttons : box.names[2].empty() ? kBoxYesNo : kBoxYesNoCancel;
    boxes_.push_back(BoxRecord{box.title, box.text, buttons, answer});
}

int HeadlessBackend::messageBox(const std::string& title, const std::string& text, int buttons, int)
{
    // Unanswered boxes take their default button, as Return would.
    const int fallback = buttons == kBoxOk      ? kBoxResultOk
                         : buttons == kBoxYesNo ? kBoxResultNo
                                                : kBoxResultCancel;
    const int answer = answerBox(title, text, buttons, fallback);
    log("box [" + title + "] " + text + " -> " + answerName(answer));
    return answer;
}

void HeadlessBackend::interruptModal()
{
    std::lock_guard<std::mutex> lock(mutex_);
    interrupt_ = true;
    interrupted_.notify_all();
}

int HeadlessBackend::choiceBox(const std::string& title, const std::string& text, const std::string& first,
                               const std::string& second, const std::string& third)
{
    const int answer =
        answerBox(title, text, third.empty() ? kBoxYesNo : kBoxYesNoCancel, third.empty() ? 2 : 3);
    log("box [" + title + "] " + text + " -> " + (answer == 1 ? first : answer == 2 ? second : third));
    return answer;
}

bool HeadlessBackend::fileDialog(const FileDialogRequest& request, std::string& chosen)
{
    std::optional<std::string> answer;
    uint32_t delay = 0;
    bool external = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dialogs_.push_back(request);
        if (!dialogAnswers_.empty()) {
            answer = dialogAnswers_.front().path;
            delay = dialogAnswers_.front().delayMs;
            external = dialogAnswers_.front().external;
            dialogAnswers_.pop_front();
        }
    }
    if (external) {
        log(std::string("dialog ") +
            (request.folder ? "folder"
             : request.save ? "save"
                            : "open") +
            " [" + request.patterns + "] -> external");
        return runExternalFileDialog(request, chosen);
    }
    sleepMs(static_cast<int>(delay));
    log(std::string("dialog ") +
        (request.folder ? "folder"
         : request.save ? "save"
                        : "open") +
        " [" + request.patterns + "] -> " + (answer ? *answer : "cancel"));
    if (!answer) return false;
    chosen = *answer;
    return true;
}

EntryAnswer HeadlessBackend::textEntry(const TextEntryRequest& request, std::string& text)
{
    std::optional<std::string> answer;
    uint32_t delay = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(request);
    }
    takeEntryAnswer(answer, delay);
    sleepMs(static_cast<int>(delay));
    log(entryLine(request, answer));
    if (!answer) return EntryAnswer::cancelled;
    text = *answer;
    return EntryAnswer::ok;
}

bool HeadlessBackend::openAddress(const std::string& address)
{
    log("address " + address);
    return true;
}

std::vector<HeadlessBackend::BoxRecord> HeadlessBackend::boxes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

std::vector<FileDialogRequest> HeadlessBackend::dialogs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dialogs_;
}

std::vector<TextEntryRequest> HeadlessBackend::entries() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

size_t HeadlessBackend::pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

void HeadlessBackend::setLogFile(const std::string& path)
{
    logPath_ = path;
}

void HeadlessBackend::log(const std::string& line)
{
    if (logPath_.empty()) return;
    if (FILE* f = std::fopen(logPath_.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool HeadlessBackend::loadScript(const std::string& path, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the script " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parseScript(text.str(), error);
}

bool HeadlessBackend::parseScript(const std::string& text, std::string& error)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!clockStarted_) scriptRead_ = millis();
    }
    parsing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{parsing_};
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    uint32_t delay = 0;
    auto fail = [&](const std::string& why) {
        error = "script line " + std::to_string(number) + ": " + why;
        return false;
    };
    auto ev = [&](const Event& e) {
        push(e, delay);
        delay = 0;
    };
    auto act = [&](std::function<void()> a) {
        pushAction(std::move(a), delay);
        delay = 0;
    };
    auto gate = [&](std::function<bool()> ready) {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint32_t now = millis();
        const uint32_t base = static_cast<int32_t>(lastDue_ - now) > 0 ? lastDue_ : now;
        lastDue_ = base + delay;
        delay = 0;
        Item item{lastDue_, Event{}, {}, !clockStarted_};
        item.ready = std::move(ready);
        queue_.push_back(std::move(item));
    };
    while (std::getline(lines, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string cmd;
        if (!(words >> cmd)) continue;
        if (cmd == "wait") {
            long ms = -1;
            if (!(words >> ms) || ms < 0) return fail("wait needs milliseconds");
            delay += static_cast<uint32_t>(ms);
        } else if (cmd == "keydown" || cmd == "keyup" || cmd == "press" || cmd == "ctrl") {
            std::string k, extra;
            Event key;
            if (!(words >> k) || !parseKey(k, key)) return fail("unknown key");
            words >> extra;
            if (cmd == "keydown") {
                ev(keyEvent(T::KeyDown, key, extra == "repeat"));
            } else if (cmd == "keyup") {
                ev(keyEvent(T::KeyUp, key));
            } else {
                Event ctrl{.key = Key::Control};
                if (cmd == "ctrl") ev(keyEvent(T::KeyDown, ctrl));
                ev(keyEvent(T::KeyDown, key));
                ev(keyEvent(T::KeyUp, key));
                if (cmd == "ctrl") ev(keyEvent(T::KeyUp, ctrl));
            }
        } else if (cmd == "down" || cmd == "up" || cmd == "move" || cmd == "click") {
            int x, y;
            if (!(words >> x >> y)) return fail(cmd + " needs X Y");
            if (cmd == "down") ev(mouseEvent(T::MouseDown, x, y));
            if (cmd == "up") ev(mouseEvent(T::MouseUp, x, y));
            if (cmd == "move") ev(mouseEvent(T::MouseMove, x, y));
            if (cmd == "click") {
                ev(mouseEvent(T::MouseDown, x, y));
                delay = 20;
                ev(mouseEvent(T::MouseUp, x, y));
            }
        } else if (cmd == "wheel") {
            int x, y, notches;
            if (!(words >> x >> y >> notches) || notches == 0) return fail("wheel needs X Y NOTCHES (not 0)");
            Event e = mouseEvent(T::MouseWheel, x, y);
            e.wheel = notches;
            ev(e);
        } else if (cmd == "drag") {
            int x1, y1, x2, y2, steps = 10;
            if (!(words >> x1 >> y1 >> x2 >> y2)) return fail("drag needs X1 Y1 X2 Y2");
            words >> steps;
            steps = std::clamp(steps, 1, 1000);
            ev(mouseEvent(T::MouseDown, x1, y1));
            for (int i = 1; i <= steps; ++i) {
                delay = 10;
                ev(mouseEvent(T::MouseMove, x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps));
            }
            delay = 10;
            ev(mouseEvent(T::MouseUp, x2, y2));
        } else if (cmd == "close") {
            ev(Event{.type = T::CloseRequest});
        } else if (cmd == "drop") {
            std::string path;
            std::getline(words >> std::ws, path);
            if (path.empty()) return fail("drop needs a path");
            Event file{.type = T::DropFile};
            file.text = path;
            ev(file);
            ev(Event{.type = T::DropDone});
        } else if (cmd == "resize") {
            int w, h;
            if (!(words >> w >> h) || w <= 0 || h <= 0) return fail("resize needs W H");
            act([this, w, h] {
                if (resizeHook_) {
                    resizeHook_(w, h);
                    return;
                }
                resizeWindow(w, h);
                Event r;
                r.type = T::Resize;
                r.x = fit_.width;
                r.y = fit_.height;
                pushNow(r);
            });
        } else if (cmd == "box") {
            std::string a;
            words >> a;
            int answer = a == "ok" || a == "yes" ? 1
                         : a == "no"             ? 2
                         : a == "cancel"         ? 3
                         : a == "hold"           ? kBoxHold
                                                 : 0;
            if (answer == 0) return fail("box needs ok, yes, no, cancel or hold");
            long afterMs = 0;
            if (answer != kBoxHold && (words >> afterMs) && (afterMs < 0 || afterMs > 600000))
                return fail("box: the answer comes 0 to 600000 ms after the box");
            pushAction([this, answer, afterMs] { queueBoxAnswer(answer, static_cast<uint32_t>(afterMs)); },
                       delay, true);
            delay = 0;
        } else if (cmd == "dialog") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            if (rest.empty()) return fail("dialog needs a path or cancel");
            if (rest == "external") {
                act([this] { queueExternalDialog(); });
                continue;
            }
            std::optional<std::string> answer;
            if (rest != "cancel") answer = rest;
            act([this, answer] { queueDialogAnswer(answer); });
        } else if (cmd == "entry") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            if (rest.empty()) return fail("entry needs a text or cancel");
            std::optional<std::string> answer;
            if (rest != "cancel") answer = rest;
            act([this, answer] { queueEntryAnswer(answer); });
        } else if (cmd == "screenshot") {
            std::string path;
            std::getline(words >> std::ws, path);
            if (path.empty()) return fail("screenshot needs a path");
            act([this, path] {
                if (screenshotHook_)
                    log(std::string("screenshot ") + path + (screenshotHook_(path) ? "" : " failed"));
                else
                    saveScreenPng(path);
            });
        } else if (cmd == "waitsize") {
            long bytes = -1;
            std::string path;
            words >> bytes;
            std::getline(words >> std::ws, path);
            if (bytes < 0 || path.empty()) return fail("waitsize needs a size and a path");
            gate([path, bytes] {
                struct stat st {};
                return ::stat(path.c_str(), &st) == 0 && st.st_size >= bytes;
            });
        } else if (cmd == "quit") {
            ev(Event{.type = T::Terminate});
        } else {
            return fail("unknown command " + cmd);
        }
    }
    return true;
}

}  // namespace plat
