#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace plat {

// The desktop backend; null with `error` set when there is no display.
std::unique_ptr<Backend> makeSdlBackend(std::string& error);

}  // namespace plat
