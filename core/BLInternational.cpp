#include "core/BLInternational.h"

#include <string>

#include "core/kelCore.h"

int16_t BL_Notify(int16_t messageId, int16_t buttons)
{
    const std::string text = "Message " + std::to_string(messageId);
    return KEL_UserNotify(text.c_str(), buttons);
}
