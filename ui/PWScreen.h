// The one screen: the panels in index order, the routing of events
// between them, their places on the stage, and the composition of what the
// window shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/kelGeometry.h"
#include "core/kelOffmap.h"

class PWPanelClass;
class kelPanel;
class kelFont;
class BLPath;

// What the help mode offers the screen; installed by the panels layer.
class PWHelpHooks {
public:
    virtual ~PWHelpHooks() = default;
    virtual void idle() {}
    virtual void toggle(int16_t) {}
    // A control of a panel took a click or a key: the panels tell the help
    // mode before their item handler runs.
    virtual void hit(int16_t, int16_t) {}
    virtual void panHidden(int16_t) {}
    // Escape: true when it ended the help mode (and goes no further).
    virtual bool escape() { return false; }
    // A press of the mouse: true when the help overlay took it for a button
    // of its own (and it goes no further).
    virtual bool click(int16_t, int16_t) { return false; }
    virtual void updateOffmap() {}
    // Where the help overlay lies while help mode is on; false when off.
    virtual bool overlayRect(kelRect&) { return false; }
};

// Drawn over every panel and the help mode's overlay, outside the panel
// table: the program's modal box.
class PWFrontLayer {
public:
    virtual ~PWFrontLayer() = default;
    // Draws itself into the screen image, kept to the area being refreshed.
    virtual void drawToUpdate() = 0;
};

class PWScreenClass {
public:
    static constexpr int16_t kPanelCount = 13;
    static constexpr int16_t kStageWidth = 640;
    static constexpr int16_t kStageHeight = 480;

    struct PanelLink {
        PWPanelClass* panel = nullptr;
        uint8_t visible = 0;
        uint8_t draggable = 0;
        int16_t connectFlag = 0;
        kelRect limit;
        int16_t animate = 0;
        kelPoint position;
        // The modal panel before this one was shown (a modal panel over another).
        int16_t modalBefore = -1;
    };

    uint8_t ready = 0;
    std::array<PanelLink, kPanelCount> links{};
    int16_t count = 0;
    kelOffmap image;
    kelRect windowRect;
    const kelRect* clip = nullptr;
    uint8_t drawable = 0;
    kelPoint origin;
    kelRect stage{0, 0, kStageWidth, kStageHeight};
    int16_t lastControl = -1;
    int16_t modalPanel = -1;
    std::array<int16_t, 256> keyHeld{};
    PWHelpHooks* help = nullptr;
    PWFrontLayer* front = nullptr;

    // Back to the state before start-up (the screen image freed).
    void reset();
    // Allocates the screen image at the monitor's size and places the stage.
    bool setup();
    // The application window at the monitor's size; the stage is placed in
    // the client area the window really got.
    // Opens the window at `last` (the desktop rectangle it had), or filling
    // the display when there is none.
    void openWindow(const kelRect* last = nullptr);
    static constexpr int kMinWindowWidth = 160, kMinWindowHeight = 120;
    void closeWindow();

    void update(const kelRect* area);
    void updateFrom(kelPanel* panel, int16_t item, const kelRect* area);
    // What controls call while the screen composes: drawing clipped to the
    // area being refreshed.
    void copyToUpdate(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect);
    void copyMaskToUpdate(const kelOffmap* source, const kelRect* sourceRect, const kelOffmap* mask,
                          const kelRect* maskRect, const kelRect* destRect, int16_t level);
    void fillToUpdate(const kelRect* rect, int16_t colour);
    void lineToUpdate(int16_t x1, int16_t y1, int16_t x2, int16_t y2, int16_t colour);
    void stringToUpdate(const kelFont* font, const char* text, int16_t x, int16_t y, int16_t align,
                        bool masked);
    // Shows a picture straight in the window, over whatever the screen
    // composed (an open pop-up list, a framework control's own image).
    void showOnTop(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect);

    void connect(PWPanelClass* panel, int16_t index, int16_t flag);
    void setProps(int16_t index, int16_t x, int16_t y, uint8_t draggable, int16_t animate);
    void show(int16_t index);
    void hide(int16_t index);
    void toggle(int16_t index);
    bool isVisible(int16_t index) const;
    // The panel Escape closes: the highest visible one over the groove panel
    // (not the progress of a mix); -1 for none.
    int16_t panelOnTop() const;
    PWPanelClass* panel(int16_t index) const;

    // Places of panels: the three layout rectangles of a draggable panel.
    void setPosition(int16_t index, const kelRect* rect);
    void setPanelPosition(int16_t index, int16_t x, int16_t y);
    void setPanelPositionCentered(int16_t index);
    // Moves the panel with the mouse while the button is held.
    void doDragPanel(int16_t index);
    // The interface colour of the groove, virtual mix, synth and loop tuner panels.
    void changeAllColors(int16_t scheme);

    void events();
    void asyncDialogMessage(BLPath* path);
    void resized();

    // Opens a document named on the command line through the groove panel,
    // as if its open dialog had chosen it.
    void processOpenDocuments();

private:
    void dispatchMouseDown();
    // The wheel turns the control under the mouse of the panel in front there.
    void dispatchWheel();
    void dispatchKey();
    void dispatchCommand();
    void askQuit();
    void moveLayouts(PWPanelClass* p, int dh, int dv);
    // A floating panel is moved back onto the stage where it sticks out.
    void keepInside(int16_t index);
};

extern PWScreenClass PWScreen;

// Hands the event in kelGlo (message 0) or a finished dialog (a BLPath) to the screen.
void PWScreen_remoteevents(uintptr_t message);
