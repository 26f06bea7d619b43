// HalStatus: the board status functions of /dev/hal that the monitoring service reads and
// drives: the DIP switches (HW_GET_DIP), the raw power supply state (HW_GET_POWER), both
// one byte filled by the driver, and the framer LEDs (HW_SET_LEDS), one byte kept. Each request
// takes a one-byte record; any other size is refused with EINVAL.
//
// Control: `hal dip N` and `hal power N` (0 to 255, 0 at start) set what the requests answer;
// `hal leds` answers the last LED byte as 0xNN, or `unset`.
#pragma once

#include <cstdint>

#include "sim/hal.h"

class HalStatus : public HalUnit {
 public:
  bool knows(uint32_t request) const override;
  IoctlResult on_ioctl(IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  uint8_t dip_ = 0;
  uint8_t power_ = 0;
  int leds_ = -1;
};
