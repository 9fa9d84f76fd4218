#include "library/BLGrooveLinks.h"

#include <cstring>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"

int16_t BLNotifyQuestions::notify(int16_t message, int16_t kind)
{
    return BL_Notify(message, kind);
}

int16_t BLNotifyQuestions::notifySong(int16_t message, const char* songName)
{
    return blIntl.notifyNames(message, 1, {songName ? songName : ""});
}

int16_t BLNotifyQuestions::notifyNames(int16_t message, int16_t kind,
                                       std::initializer_list<std::string_view> names)
{
    return blIntl.notifyNames(message, kind, names);
}
