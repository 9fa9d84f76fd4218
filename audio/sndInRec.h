// Recording from the sound card and loading user loops: the sources of the
// user loop that audio/Vetro.h plays.
#pragma once

#include <cstdint>

// What BLEngine's user-loop operations do.
unsigned char UserLoop_Load(char* kelPath);
unsigned char UserLoop_RecordStart();
void UserLoop_RecordStop();
void UserLoop_RecordReset();
unsigned char UserLoop_RecordStatus(short* percent, short* level);
