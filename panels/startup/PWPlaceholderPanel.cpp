#include "panels/startup/PWPlaceholderPanel.h"

#include "core/kelCore.h"
#include "ui/PWScreen.h"

void PWPlaceholderPanel::onItem()
{
    if (hitItem != closeItem_ || liveChange) return;
    switch (action_) {
        case CloseAction::Hide: PWScreen.hide(screenIndex); break;
        case CloseAction::Quit:
            kelGlo.what = kelCloseEvt;
            PWScreen.events();
            break;
        case CloseAction::None: break;
    }
}
