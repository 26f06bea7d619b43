// HalClock: the bus clock selection of /dev/hal. HW_CLOCK_SELECT takes an int32 source: 0 to 3
// the clock inputs f0 to f3, 4 the board's free-running clock, 5 the input X3, 6 and 7 reserved;
// anything else, or a record of another size, is refused with EINVAL.
//
// Control: `clock` answers the source selected last as "N NAME", or "unset".
#pragma once

#include <cstdint>

#include "sim/hal.h"

class HalClock : public HalUnit {
 public:
  bool knows(uint32_t request) const override;
  IoctlResult on_ioctl(IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  int32_t source_ = -1;
};
