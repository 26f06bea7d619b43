// The requests and records of the board's time-slot switch on /dev/hal (type character 'M').
// Every argument is a record of 32-bit words passed by address, in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MuxIoctl {
constexpr uint32_t kConnect = 0x80084d02;  // mux_connect: output carries what input receives
constexpr uint32_t kDisable = 0x80044d03;  // mux_disable: output switched off
constexpr uint32_t kWrite = 0xc0084d04;    // mux_value: channel sends the constant byte value
constexpr uint32_t kRead = 0xc0084d05;     // mux_value: value gets the byte channel carries
}  // namespace MuxIoctl

struct mux_connect {
  uint32_t output;
  uint32_t input;
};

struct mux_disable {
  uint32_t output;
};

// Write: value is the byte to send (0 to 255). Read: the caller presets value to 0xFF and the
// driver returns the byte in its low-order 8 bits.
struct mux_value {
  uint32_t channel;
  uint32_t value;
};

static_assert(sizeof(mux_connect) == 8, "mux_connect");
static_assert(offsetof(mux_connect, output) == 0, "output");
static_assert(offsetof(mux_connect, input) == 4, "input");
static_assert(sizeof(mux_disable) == 4, "mux_disable");
static_assert(sizeof(mux_value) == 8, "mux_value");
static_assert(offsetof(mux_value, channel) == 0, "channel");
static_assert(offsetof(mux_value, value) == 4, "value");
