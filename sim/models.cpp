#include "sim/models.h"

#include "sim/dsp.h"
#include "sim/dtmf.h"
#include "sim/echo.h"
#include "sim/hal.h"
#include "sim/watchdog.h"

std::vector<std::unique_ptr<DeviceModel>> make_device_models() {
  std::vector<std::unique_ptr<DeviceModel>> models;
  models.push_back(std::make_unique<Watchdog>());
  models.push_back(std::make_unique<Echo>());
  models.push_back(std::make_unique<Hal>());
  models.push_back(std::make_unique<Dtmf>());
  models.push_back(std::make_unique<Dsp>());
  return models;
}
