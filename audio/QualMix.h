// The offline mixdown: a mix script rendered to one WAV file, each groove
// 32 beats of its loops at the song tempo brought to the script's tempo.
// Runs on the main thread while playback is stopped.
#pragma once

// Both paths in kel form, as the engine's file layer takes them.
void OVQualityMix(char* wavPath, char* scriptPath);
