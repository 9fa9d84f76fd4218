// The guide's pictures: the real program, headless, shows each panel in turn
// as its own buttons would, saves one picture a panel, and ends.
#pragma once

#include <string>

// Makes `folder` and a program folder of its own for the run (links to the
// program, its skin and its library; preferences, recovery and mixes stay
// there and go with it), so that nothing of the user's is touched. Returns
// the program file to start as, or "" with the reason in `error`.
std::string PWShots_Arm(const std::string& folder, const std::string& programFile, std::string& error);
bool PWShots_Armed();
// Runs from the main loop's idle passes.
void PWShots_Idle();
// After the program has ended: removes the run's program folder and gives
// the exit code (non-zero, the reason said, when a picture could not be made).
int PWShots_Finish(int programExitCode);
