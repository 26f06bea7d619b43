// The requests and records of the modem controller, /dev/mctl (type 0xBB, the request numbers
// carry no direction or size bits). Each open holds at most one modem of the board's DSP modem
// pool, freed when the open is closed; records are 32-bit words in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MctlIoctl {
constexpr uint32_t kAnswer = 0xBB03;        // mctl_modem: answer the call on the modem
constexpr uint32_t kOriginate = 0xBB04;     // mctl_modem: originate a data call
constexpr uint32_t kAllocate = 0xBB0B;      // value 0; result: the modem number
constexpr uint32_t kNextModem = 0xBB0C;     // value: the previous number (-1 first); ENODEV after
constexpr uint32_t kTimeslot = 0xBB15;      // value 0; result: the allocated modem's channel
constexpr uint32_t kSetDdm = 0xBB16;        // mctl_ddm
constexpr uint32_t kSetDmp = 0xBB38;        // mctl_dmp
constexpr uint32_t kResetDmp = 0xBB3A;      // mctl_modem
constexpr uint32_t kFaxOriginate = 0xBB40;  // mctl_modem
}  // namespace MctlIoctl

// Digital data mode flags of kSetDdm.
namespace MctlDdm {
constexpr uint32_t kV110 = 1;
constexpr uint32_t k8Bit = 2;
constexpr uint32_t k7Bit = 4;
}  // namespace MctlDdm

struct mctl_modem {
  int32_t modem;
  int32_t unused;  // -1
};

struct mctl_ddm {
  int32_t modem;
  uint32_t flags;
};

struct mctl_dmp {
  int32_t modem;
  int32_t offset;
  int32_t value;
};

static_assert(sizeof(mctl_modem) == 8, "mctl_modem");
static_assert(sizeof(mctl_ddm) == 8, "mctl_ddm");
static_assert(sizeof(mctl_dmp) == 12, "mctl_dmp");
static_assert(offsetof(mctl_dmp, value) == 8, "value");
