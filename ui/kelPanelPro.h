// The panel that knows the skinned "pro" controls (kinds 30 to 39).
#pragma once

#include "ui/kelPanel.h"

class kelPanelPro : public kelPanel {
public:
    kelPanelControl* newCustomControl(int16_t kind) override;
};
