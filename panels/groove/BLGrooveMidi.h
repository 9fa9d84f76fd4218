// MIDI controllers on the groove panel: what the command line gives them.
#pragma once

#include <string>

// The port of the program's own that controllers are connected to.
constexpr char kBLMidiControlsPort[] = "controls in";

// A mapping file (a system path) whose bindings replace those of the
// preferences when the groove panel opens its MIDI input.
void BLMidi_UseMapFile(const std::string& path);
