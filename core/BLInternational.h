// Message texts by language.
#pragma once

#include <cstdint>

// Shows line `messageId` of the language's message table in a modal box.
int16_t BL_Notify(int16_t messageId, int16_t buttons);
