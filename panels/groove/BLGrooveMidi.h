// MIDI controllers on the groove panel: what the command line gives them.
#pragma once

#include <string>

// A mapping file (a system path) whose bindings replace those of the
// preferences when the groove panel opens its MIDI input.
void BLMidi_UseMapFile(const std::string& path);
