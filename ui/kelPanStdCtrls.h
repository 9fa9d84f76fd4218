// The standard controls of every panel (kinds 10 to 20): plain texts,
// buttons, checks, radios, numbers, editable texts, lists and level bars,
// drawn with fills, lines and the skin font; and the static cast, the base
// of every picture control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/kelPanelControl.h"

// Colours of the standard controls (screen pixels, 5-5-5).
constexpr int16_t kelStdFace = 0x14A5;
constexpr int16_t kelStdEdge = 0x2D6B;
constexpr int16_t kelStdLit = 0x2940;

// A text in the skin font, left aligned in the item's frame.
class kelPaCoStd_StaticString : public kelPanelControl {
public:
    static constexpr int kMaxText = 255;

    void calc() override { calcFromFrame(); }
    void draw() override;
    void setValue(int16_t v) override;
    void setValue(char* text) override;
    void getValue(char* text) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    const char* text() const { return text_; }

protected:
    // What the text shows (a password shows stars).
    virtual std::string shown() const { return text_; }
    void drawText(int16_t align);
    void drawBox(int16_t face);

    char text_[kMaxText + 1] = {};
};

class kelPaCoStd_StandardButton : public kelPaCoStd_StaticString {
public:
    bool click() override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticString::setValue;

protected:
    uint8_t pressed_ = 0;
};

// A radio of a group: aux 1 is the value it stands for, aux 2 its group.
// Choosing one turns the others of the group off; the panel hears one item
// for the whole group, that of its radio of value 0.
class kelPaCoStd_StandardRadio : public kelPaCoStd_StaticString {
public:
    void setup() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override;
    bool click() override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticString::getValue;
    using kelPaCoStd_StaticString::setValue;

    int16_t radioValue = 0;
    int16_t group = 0;
    int16_t on = 0;
};

class kelPaCoStd_StandardCheck : public kelPaCoStd_StaticString {
public:
    bool click() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticString::getValue;
    using kelPaCoStd_StaticString::setValue;

    int16_t value = 0;
};

class kelPaCoStd_StandardNum : public kelPaCoStd_StaticString {
public:
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    using kelPaCoStd_StaticString::getValue;
    using kelPaCoStd_StaticString::setValue;

    int16_t value = 0;
};

// Typed into while it has the focus; aux 1 limits its length.
class kelPaCoStd_StandardEditString : public kelPaCoStd_StaticString {
public:
    void setup() override;
    bool click() override;
    bool key() override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticString::setValue;

protected:
    virtual bool accepts(uint8_t c) const { return c >= 0x20 && c != 0x7F; }
    int16_t maxLength_ = kMaxText;
};

class kelPaCoStd_StandardEditNum : public kelPaCoStd_StandardEditString {
public:
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override;
    using kelPaCoStd_StandardEditString::getValue;
    using kelPaCoStd_StandardEditString::setValue;

protected:
    bool accepts(uint8_t c) const override { return (c >= '0' && c <= '9') || c == '-'; }
};

class kelPaCoStd_StandardEditPassword : public kelPaCoStd_StandardEditString {
protected:
    std::string shown() const override { return std::string(std::char_traits<char>::length(text_), '*'); }
};

// One picture of the item's images, chosen by value.
class kelPaCoStd_StaticCast : public kelPanelControl {
public:
    void setup() override;
    void calc() override { calcFromFrame(); }
    bool click() override { return true; }
    void draw() override;
    void setValue(int16_t v) override;
    void setValue(long v) override { setValue(static_cast<int16_t>(v)); }
    void getValue(int16_t& v) override { v = value; }
    void getValue(long& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    int16_t value = 0;
};

// Rows of texts; a click chooses the row under the mouse.
class kelPaCoStd_StandardList : public kelPanelControl {
public:
    void calc() override { calcFromFrame(); }
    void draw() override;
    bool click() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, char* text) override;
    void getValue(int16_t i, char* text) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    std::vector<std::string> items;
    int16_t value = -1;
    int16_t rowHeight() const;
};

// A horizontal bar filled to value percent.
class kelPaCoStd_StandardLevelBar : public kelPanelControl {
public:
    void calc() override { calcFromFrame(); }
    void draw() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    int16_t value = 0;
};

// The standard control of a kind, null for a kind outside 10 to 20.
kelPanelControl* kelNewStandardControl(int16_t kind);

// Asks the screen to refresh a control's rectangle while its panel shows.
void kelRefreshControl(kelPanelControl* control);
