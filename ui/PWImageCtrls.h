// Controls that show a picture given to them: by cast id from the help
// resource file, by pointer to an offscreen image, or as a bar cut to a width.
#pragma once

#include <cstdint>

#include "core/kelCasts.h"
#include "ui/kelPanelControl.h"

// The resource file of the help pictures, opened by each picture control.
constexpr const char* kPWHelpPicturesFile = "PWhelp.xrs";

class imageIDControl : public kelPanelControl {
public:
    void setup() override;
    void draw() override;
    void setValue(int16_t id) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::setValue;

    KelCasts pictures;
    KelOneCast* shown = nullptr;
};

class imagePtrControl : public kelPanelControl {
public:
    void draw() override;
    void setValue(int16_t i, uint8_t* image) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::setValue;

    const kelOffmap* picture = nullptr;
};

// A horizontal bar: the leftmost 1 to 180 columns of image 0.
class imageBarControl : public kelPanelControl {
public:
    static constexpr int16_t kMaxColumns = 180;

    void draw() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    int16_t value = 1;
};
