// The self-demonstration: the real program shows itself for a few seconds,
// saves what it showed, and ends.
#pragma once

#include <string>

// Arms the demonstration; its results go to `folder` (created when missing).
bool PWDemo_Arm(const std::string& folder);
bool PWDemo_Armed();
// Runs from the main loop's idle passes.
void PWDemo_Idle();

// Opens the first song of the library (by folder name) that opens.
bool PW_OpenFirstSong();
