#include "ui/kelPanelPro.h"

#include "ui/kelPanProCtrls.h"

kelPanelControl* kelPanelPro::newCustomControl(int16_t kind)
{
    if (kelPanelControl* c = kelNewProControl(kind)) return c;
    return kelPanel::newCustomControl(kind);
}
