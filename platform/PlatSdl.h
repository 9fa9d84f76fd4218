#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace plat {

// The desktop backend; null with `error` set when there is no display.
std::unique_ptr<Backend> makeSdlBackend(std::string& error);

// What the SDL backend's window shows, read back as 8-bit RGB rows (for
// tests of the scaling); false for another backend or without a window.
bool readSdlWindowRgb(Backend& backend, std::vector<uint8_t>& rgb, int& width, int& height);
// Resizes the SDL backend's window (tests; the desktop resizes it otherwise).
bool resizeSdlWindow(Backend& backend, int width, int height);

}  // namespace plat
