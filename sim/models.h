// The simulated board's devices.
#pragma once

#include <memory>
#include <vector>

#include "sim/device_model.h"

// One model of every simulated device. A new device is one line here.
std::vector<std::unique_ptr<DeviceModel>> make_device_models();
