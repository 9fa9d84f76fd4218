#include "core/BLTextEntry.h"

BLTextEntry::~BLTextEntry()
{
    abandonDialog();
}

bool BLTextEntry::asyncEntry(int16_t panel, int16_t code, int16_t sub, const plat::TextEntryRequest& request)
{
    return startDialogThread(panel, code, sub, [this, request]() -> std::function<void()> {
        std::string typed;
        const plat::EntryAnswer answer = plat::backend().textEntry(request, typed);
        return [this, answer, typed] {
            dialogOk = answer == plat::EntryAnswer::ok ? 1 : 0;
            unavailable = answer == plat::EntryAnswer::unavailable;
            text = dialogOk ? typed : std::string();
        };
    });
}
