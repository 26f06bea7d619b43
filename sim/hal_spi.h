// HalSpi: the SPI bus of /dev/hal that reaches the eight BRI framer channels. Each channel has
// 256 one-byte registers, all 0 at start. A read answers the register's value as the request's
// result (and in the record's data); a write stores data. A channel above 7 or a record of
// another size is refused with EINVAL. A board without SPI (`spi absent`) refuses every SPI
// request with ENODEV.
//
// Control:
//   spi set CH REG VALUE    the register takes VALUE (what the framer reports, e.g. status 0x33)
//   spi get CH REG          the register's value, "0xNN"
//   spi absent | spi present
#pragma once

#include <cstdint>

#include "sim/hal.h"

class HalSpi : public HalUnit {
 public:
  static constexpr uint32_t kChannels = 8;

  bool knows(uint32_t request) const override;
  IoctlResult on_ioctl(IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  uint8_t registers_[kChannels][256] = {};
  bool present_ = true;
};
