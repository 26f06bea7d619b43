// The requests and records of the multichannel HDLC controller, /dev/mcc/ctl (type character
// 'M'). Each open of the device is one channel; records are 32-bit words in the processor's
// byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MccIoctl {
constexpr uint32_t kAllocate = 0x40144d00;  // mcc_allocation: binds the open to a new channel
constexpr uint32_t kTimeslot = 0x20004d02;  // no argument; result: the channel's switch channel
constexpr uint32_t kCapacity = 0x80104d03;  // mcc_capacity, filled on an open not yet allocated
}  // namespace MccIoctl

struct mcc_allocation {
  uint32_t mode;  // 0 primary rate D channel, 1 basic rate D channel, 2 transparent, 3 SS7
  uint32_t rx_packet_size;
  uint32_t reserved;
  uint32_t rx_threshold;
  uint32_t tx_threshold;
};

static_assert(sizeof(mcc_allocation) == 20, "mcc_allocation");
static_assert(offsetof(mcc_allocation, rx_packet_size) == 4, "rx_packet_size");
static_assert(offsetof(mcc_allocation, rx_threshold) == 12, "rx_threshold");
static_assert(offsetof(mcc_allocation, tx_threshold) == 16, "tx_threshold");

// The controller's channel capacity by kind.
struct mcc_capacity {
  uint32_t data;
  uint32_t bri;
  uint32_t transparent;
  uint32_t reserved;
};

static_assert(sizeof(mcc_capacity) == 16, "mcc_capacity");
static_assert(offsetof(mcc_capacity, transparent) == 8, "transparent");
