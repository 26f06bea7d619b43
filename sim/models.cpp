#include "sim/models.h"

#include "sim/dsp.h"
#include "sim/dsp_data.h"
#include "sim/dtmf.h"
#include "sim/e1_cas.h"
#include "sim/echo.h"
#include "sim/hal.h"
#include "sim/maintenance.h"
#include "sim/mcc.h"
#include "sim/mctl.h"
#include "sim/mixer.h"
#include "sim/rtp.h"
#include "sim/rtp_ext.h"
#include "sim/voice.h"
#include "sim/net.h"
#include "sim/watchdog.h"

std::vector<std::unique_ptr<DeviceModel>> make_device_models() {
  std::vector<std::unique_ptr<DeviceModel>> models;
  models.push_back(std::make_unique<Watchdog>());
  models.push_back(std::make_unique<Echo>());
  models.push_back(std::make_unique<Hal>());
  models.push_back(std::make_unique<Dtmf>());
  models.push_back(std::make_unique<Dsp>());
  models.push_back(std::make_unique<Mcc>());
  models.push_back(std::make_unique<MixerModel>());
  models.push_back(std::make_unique<Maintenance>());
  models.push_back(std::make_unique<E1Cas>());
  models.push_back(std::make_unique<Rtp>());
  models.push_back(std::make_unique<Voice>());
  models.push_back(std::make_unique<RtpExt>());
  models.push_back(std::make_unique<Mctl>());
  models.push_back(std::make_unique<DspData>());
  models.push_back(std::make_unique<Net>());
  return models;
}
