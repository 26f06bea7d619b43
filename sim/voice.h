// Voice: the model of /dev/voice, the voice codec driver. It answers the codec capacity
// request (a uint32 selector by address) with the number of channels of that kind: g711 (1)
// 64, g723 (2) 16, g729 (4) 16, g711 on the multichannel controller (8) 32, universal (65) 64,
// any other 0, until set.
//
// Control:
//   voice capacity SELECTOR N   what the request answers for SELECTOR from now on (N signed)
#pragma once

#include <cstdint>
#include <map>

#include "sim/device_model.h"

class Voice : public DeviceModel {
 public:
  Voice();

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  std::map<uint32_t, int32_t> capacity_;
};
