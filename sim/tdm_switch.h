// TdmSwitch: the time-slot switch of /dev/hal. Every output the daemon has named carries one of:
// a switch input (connect), a constant byte (write), or nothing (disable). Channel numbers 0 to
// 10239 are valid (the trunks' and devices' time slots below 8192, then the 2048 logical outputs
// of the 16 internal buses); others are refused with EINVAL, as is a constant above 255 or a
// record of the wrong size.
//
// A read answers the byte a channel carries: its constant; for a connected output, the constant
// of the channel its input number names, if that one sends one; otherwise the idle line, 0xFF.
//
// Control: `switch OUTPUT` answers the input number, `const 0xNN` or `off`; an output never
// named by a request is an error.
#pragma once

#include <cstdint>
#include <map>

#include "sim/hal.h"

class TdmSwitch : public HalUnit {
 public:
  static constexpr uint32_t kChannels = 10240;

  bool knows(uint32_t request) const override;
  IoctlResult on_ioctl(IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Source {
    enum Kind { kInput, kConstant, kOff } kind;
    uint32_t value;  // the input number or the constant byte
  };

  uint32_t carried(uint32_t channel) const;

  std::map<uint32_t, Source> outputs_;
};
