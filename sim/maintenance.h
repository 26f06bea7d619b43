// Maintenance: the model of /dev/maintenance, the E1 framers' maintenance driver. It answers the
// synchronisation status of trunks 0 to 3 from a record per trunk that the control socket sets
// (all counters 0 and state normal at start), and keeps the TCLK mask and the clock source the
// daemon sets. A trunk outside 0 to 3 is refused with EINVAL.
//
// Control:
//   maintenance status TRUNK STATE [SLIPS LOSSBF LOSSCARRIER LOSSAIS LOSSRAI]
//                           sets what the next status requests of TRUNK answer (the counters
//                           not given become 0); STATE is a number, any 32-bit value
//   maintenance tclk        the TCLK mask, "0x.." ("unset" before the daemon set it)
//   maintenance clock       the clock source the daemon selected ("unset" before)
#pragma once

#include <cstdint>

#include "hw/e1_records.h"
#include "sim/device_model.h"

class Maintenance : public DeviceModel {
 public:
  static constexpr uint32_t kTrunks = 4;

  Maintenance();

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  e1_status status_[kTrunks];
  bool tclk_set_ = false;
  uint32_t tclk_ = 0;
  bool clock_set_ = false;
  uint32_t clock_ = 0;
};
