// Helpers of base/net.cpp, visible to its tests.
#pragma once

#include <cstdint>

#include "base/net.h"

namespace Net {

// Whether `mode` selects the interface `name` with the IPv4 address `address` (host order).
bool ifconfig_selects(const char* name, uint32_t address, ifconfig_mode_t mode);

}  // namespace Net
