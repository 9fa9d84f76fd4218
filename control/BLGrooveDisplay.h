// What the groove panel shows of the controller, called after the controller
// changed: the controller names no panel, it tells whoever shows it. Every
// operation does nothing unless the display overrides it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct BLWorkExtras;

class BLGrooveDisplay {
public:
    virtual ~BLGrooveDisplay() = default;

    // A track's menus, lamp and colours.
    virtual void trackShown(int16_t) {}
    // Every track's lamp and colours, and the Keep button.
    virtual void lampsShown() {}
    // The selected track's volume and pan, the track buttons and the lamps.
    virtual void selectionShown() {}
    // The solo, group and all buttons and the track buttons.
    virtual void modesShown() {}
    // The volume and pan controls and their labels.
    virtual void controlsShown() {}
    // Every track and the selection.
    virtual void grooveShown() {}
    // A random set working (lit) or done; its name.
    virtual void randomShown(int16_t, bool) {}
    virtual void stripsShown() {}
    // A song opened: its title, the group menus.
    virtual void songShown() {}
    virtual void keyLockShown() {}
    virtual void launchGridShown() {}
    // Record lit (a take records, or waits for Play) or not.
    virtual void recordShown() {}
    // A change waits for the grid: its count shows at once.
    virtual void waitShown() {}
    // A line for the user (the hint line).
    virtual void say(const std::string&) {}
    // A document or a recovered work is what the user looks at now: the
    // song browser in front makes way.
    virtual void workShown() {}
    // The user is in the middle of a gesture (a drag, a held button).
    virtual bool gesture() { return false; }
    // The song browser is in front: what plays here is the user's choosing.
    virtual bool browsing() { return false; }
    // The save dialog for a question's Save; `then` runs once saved.
    virtual void askSavePath(std::function<void()>) {}
};

// The synthesizer and its arpeggiator, which the synth panel keeps and
// shows: the controller's synth calls reach it here.
class BLSynthPart {
public:
    enum class Setting : uint8_t {
        playing,  // 0 or 1
        mode,     // the arpeggio's direction
        speed,
        program,  // the rhythm
        volume,
        pan,
        key,  // key index, plus 256 when it is on
    };
    virtual ~BLSynthPart() = default;
    virtual void synthSet(Setting what, int16_t value) = 0;
    // A sound of the synth library by name; false when there is none such.
    virtual bool synthChoose(const std::string& sound) = 0;
};

// A part of the user's work that another panel keeps (the loop tuner's user
// loop): taken into documents and the keeper, and put back from them.
class BLWorkPart {
public:
    virtual ~BLWorkPart() = default;
    virtual void captureWork(BLWorkExtras&) {}
    virtual void applyWork(const BLWorkExtras&) {}
    // A song was opened; its folder.
    virtual void songOpened(const std::string&) {}
};
