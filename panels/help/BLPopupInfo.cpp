#include "panels/help/BLPopupInfo.h"

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "platform/Platform.h"

namespace {
bool gSplashOpen = false;
}

void BL_PopupInfo_Open(KelCasts* casts)
{
    bldoingInfo = 1;
    KelOneCast* splash = casts ? casts->castAt(casts->MPixIDtoIndex(kBLSplashCast)) : nullptr;
    if (splash) {
        splash->LoadAvailable();
        const int16_t w = splash->size.h, h = splash->size.v;
        kelSkipWndMsgs = 1;
        if (w > 0 && h > 0 && plat::backend().openWindow(plat::kWindowKindSplash, w, h, "")) {
            gSplashOpen = true;
            kelGlo.screenWidth = w;
            kelGlo.screenHeight = h;
            if (splash->imageLoaded) splash->Draw(0, 0);
        }
        splash->Unload();
    }
    bldoingInfo = 0;
}

void BL_PopupInfo_Close()
{
    while (KEL_ButtonDown()) KEL_PollPause();
    if (gSplashOpen) KEL_CloseWindow();
    gSplashOpen = false;
    kelSkipWndMsgs = 0;
}
