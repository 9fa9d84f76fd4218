#include "ui/kelPanelPro.h"

kelPanelControl* kelPanelPro::newCustomControl(int16_t kind) { return kelPanel::newCustomControl(kind); }
