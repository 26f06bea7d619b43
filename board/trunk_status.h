// The trunkStatus signal (ACP::TrunkStatus) that the E1 and BRI line services report once a
// second for each trunk.
#pragma once

#include <cstdint>

#include "asn1/modules/acp.h"
#include "asn1/modules/lgcp.h"

struct TrunkReport {
  int32_t trunk;
  ACP::TrunkState::NamedNumber state;
  ACP::TrunkType::NamedNumber type;
  int32_t slips = 0;
  int32_t loss_bf = 0;
  int32_t loss_carrier = 0;
  int32_t loss_ais = 0;
  int32_t loss_rai = 0;
};

// The signal for `report`: clockMaster false, no name.
LGCP::Signal trunk_status_signal(const TrunkReport& report);

// An E1 framer's state word as ACP::TrunkState; a value outside the enumeration is unknown.
ACP::TrunkState::NamedNumber e1_trunk_state(uint32_t state);

// A BRI framer's status register (0x33) as ACP::TrunkState: bit 0x01 clear, no carrier; bit
// 0x04 clear, no frame alignment; then bits 0xC0: 0x80 remote alarm, 0xC0 normal, others AIS.
ACP::TrunkState::NamedNumber bri_trunk_state(uint8_t status);
