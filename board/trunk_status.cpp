#include "board/trunk_status.h"

LGCP::Signal trunk_status_signal(const TrunkReport& report) {
  LGCP::Signal signal;
  ACP::TrunkStatus& status = signal.select_trunkStatus();
  status.set_trunk(report.trunk);
  status.set_state(report.state);
  status.set_slips(report.slips);
  status.set_lossBF(report.loss_bf);
  status.set_lossCarrier(report.loss_carrier);
  status.set_lossAIS(report.loss_ais);
  status.set_lossRAI(report.loss_rai);
  status.set_clockMaster(false);
  status.set_type(report.type);
  return signal;
}

ACP::TrunkState::NamedNumber e1_trunk_state(uint32_t state) {
  return state <= ACP::TrunkState::disabled ? static_cast<ACP::TrunkState::NamedNumber>(state)
                                            : ACP::TrunkState::unknown;
}

ACP::TrunkState::NamedNumber bri_trunk_state(uint8_t status) {
  if (!(status & 0x01)) return ACP::TrunkState::lossCarrier;
  if (!(status & 0x04)) return ACP::TrunkState::lossBF;
  if ((status & 0xC0) == 0x80) return ACP::TrunkState::rai;
  if ((status & 0xC0) == 0xC0) return ACP::TrunkState::normal;
  return ACP::TrunkState::ais;
}
