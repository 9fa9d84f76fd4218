// MIDI controllers: what the command line gives them.
#pragma once

#include <string>

// A mapping file (a system path) whose bindings replace those of the
// preferences when the controller opens its MIDI input.
void BLMidi_UseMapFile(const std::string& path);
