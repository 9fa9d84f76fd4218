#include "ui/PWPanel.h"

#include "core/kelCore.h"

void PWPanelClass::getHelp(int16_t* helpID)
{
    if (!visible || !helpID) return;
    if (background()->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) *helpID = -1;
}
