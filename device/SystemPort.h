// The device port of the operating system the program runs on.
#pragma once

#include <memory>

#include "device/FtPort.h"

namespace qor {

std::unique_ptr<IFtPort> CreateSystemPort();

} // namespace qor
