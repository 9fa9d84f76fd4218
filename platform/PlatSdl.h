#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace plat {

// The desktop backend; null with `error` set when there is no display.
std::unique_ptr<Backend> makeSdlBackend(std::string& error);

class HeadlessBackend;

// The desktop window driven by a script (see PlatHeadless.h): the script's
// events reach the window through SDL's own queue, in window pixels.
std::unique_ptr<Backend> makeScriptedSdlBackend(std::unique_ptr<Backend> sdl,
                                                std::unique_ptr<HeadlessBackend> script);
// Forgets the keys and clicks SDL queued from `ticks` (SDL_GetTicks) on: a
// question box holds the window, so what was typed or clicked at it while
// the box was up was aimed at a picture not redrawn, not at the program.
void sdlDropInputFrom(uint32_t ticks);
// How many frames the SDL backend has shown (0 for another backend).
long sdlFramesShown(Backend& backend);

// What the SDL backend's window shows, read back as 8-bit RGB rows (for
// tests of the scaling); false for another backend or without a window.
bool readSdlWindowRgb(Backend& backend, std::vector<uint8_t>& rgb, int& width, int& height);
// Resizes the SDL backend's window (tests; the desktop resizes it otherwise).
bool resizeSdlWindow(Backend& backend, int width, int height);

}  // namespace plat
