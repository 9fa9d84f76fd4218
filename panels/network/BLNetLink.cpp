#include "panels/network/BLNetLink.h"

#include "control/BLGrooveController.h"
#include "net/BLNetPanel.h"

PWPanelClass* BL_NewNetPanel()
{
    return new BLNetPanel(blGroove ? &blGroove->net() : nullptr, blGroove ? &blGroove->linkSync() : nullptr);
}
