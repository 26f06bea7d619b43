// The requests and records of the E1 framers' drivers: the maintenance driver /dev/maintenance
// (synchronisation status, TCLK, clock source; type character 'M') and the channel-associated
// signalling driver /dev/e1-cas (type character 'C'). Records are in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MaintenanceIoctl {
constexpr uint32_t kStatus = 0xc0504d03;       // e1_status: trunk in, counters and state out
constexpr uint32_t kSelectClock = 0xc0044d0a;  // the clock source by value
constexpr uint32_t kTclk = 0xc0044d0b;         // the TCLK mask by value, bit n = trunk n
}  // namespace MaintenanceIoctl

namespace CasIoctl {
constexpr uint32_t kOpenTrunk = 0x80044300;   // the trunk number by value
constexpr uint32_t kCloseTrunk = 0x80044301;  // the trunk number by value
constexpr uint32_t kSetBits = 0xc00c4302;     // cas_channel: tx sent from now on
constexpr uint32_t kGetBits = 0xc00c4303;     // cas_channel: rx and tx filled
constexpr uint32_t kChannelOp = 0xc0104304;   // cas_channel_op
}  // namespace CasIoctl

// Zeroed but for the trunk before the call; the driver fills the rest. The trunk state is a
// value of ACP::TrunkState (0 normal, 1 lossBF, 2 lossCarrier, 3 ais, 4 rai, 5 unknown,
// 6 disabled).
struct e1_status {
  uint32_t trunk;
  uint32_t reserved1[8];
  uint32_t slips;
  uint32_t loss_bf;
  uint32_t loss_carrier;
  uint32_t loss_ais;
  uint32_t loss_rai;
  uint32_t reserved2[5];
  uint32_t state;
};

// One channel's ABCD bits; also the layout of the CAS driver's event records.
struct cas_channel {
  uint32_t trunk;
  uint32_t timeslot;
  uint8_t rx;  // bits received
  uint8_t tx;  // bits sent
  uint8_t padding[2];
};

enum : uint32_t { kCasOpenChannel = 0, kCasCloseChannel = 1 };

struct cas_channel_op {
  cas_channel channel;
  uint32_t operation;  // kCasOpenChannel or kCasCloseChannel
};

static_assert(sizeof(e1_status) == 80, "e1_status");
static_assert(offsetof(e1_status, slips) == 36, "slips");
static_assert(offsetof(e1_status, loss_bf) == 40, "loss_bf");
static_assert(offsetof(e1_status, loss_carrier) == 44, "loss_carrier");
static_assert(offsetof(e1_status, loss_ais) == 48, "loss_ais");
static_assert(offsetof(e1_status, loss_rai) == 52, "loss_rai");
static_assert(offsetof(e1_status, state) == 76, "state");
static_assert(sizeof(cas_channel) == 12, "cas_channel");
static_assert(offsetof(cas_channel, rx) == 8, "rx");
static_assert(offsetof(cas_channel, tx) == 9, "tx");
static_assert(sizeof(cas_channel_op) == 16, "cas_channel_op");
static_assert(offsetof(cas_channel_op, operation) == 12, "operation");
