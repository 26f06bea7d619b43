// The requests and records of the clock selection and of the SPI bus of the line framers on
// /dev/hal. Records are in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ClockIoctl {
constexpr uint32_t kSelect = 0x80044301;  // HW_CLOCK_SELECT: an int32 source, by address
}  // namespace ClockIoctl

namespace SpiIoctl {
constexpr uint32_t kRead = 0xc0034203;   // spi_register: the result's low byte is the value
constexpr uint32_t kWrite = 0xc0034204;  // spi_register: data is written
}  // namespace SpiIoctl

// One register of one of the eight framer channels; a read presets data to 0xFF.
struct spi_register {
  uint8_t channel;
  uint8_t address;
  uint8_t data;
};

static_assert(sizeof(spi_register) == 3, "spi_register");
static_assert(offsetof(spi_register, address) == 1, "address");
static_assert(offsetof(spi_register, data) == 2, "data");

// The board status requests of the monitoring service: each takes one byte by address. DIP and
// power are preset to 0 and filled by the driver; the LED byte is written.
namespace HalIoctl {
constexpr uint32_t kGetDip = 0xC0014205;    // HW_GET_DIP: the DIP switches
constexpr uint32_t kGetPower = 0xC0014206;  // HW_GET_POWER: the raw power supply state
constexpr uint32_t kSetLeds = 0xC0014207;   // HW_SET_LEDS: two bits per framer, line and link
}  // namespace HalIoctl
