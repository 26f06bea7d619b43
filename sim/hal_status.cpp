#include "sim/hal_status.h"

#include <cerrno>

#include "hw/hal_records.h"
#include "sim/record.h"

bool HalStatus::knows(uint32_t request) const {
  return request == HalIoctl::kGetDip || request == HalIoctl::kGetPower ||
         request == HalIoctl::kSetLeds;
}

IoctlResult HalStatus::on_ioctl(IoctlCall& call) {
  uint8_t byte;
  if (!read_record(call, byte)) return {-1, EINVAL};
  if (call.request == HalIoctl::kSetLeds) {
    leds_ = byte;
  } else {
    write_record(call, call.request == HalIoctl::kGetDip ? dip_ : power_);
  }
  return {0, 0};
}

std::string HalStatus::decode(const IoctlCall& call) const {
  uint8_t byte;
  if (!read_record(call, byte)) return "";
  if (call.request == HalIoctl::kSetLeds) return "HW_SET_LEDS " + hex_number(byte);
  return call.request == HalIoctl::kGetDip ? "HW_GET_DIP" : "HW_GET_POWER";
}

bool HalStatus::command(const Words& words, Reply& reply) {
  if (words[0] != "hal" || words.size() < 2) return false;
  uint32_t value = 0;
  if (words[1] == "leds" && words.size() == 2) {
    reply = Reply::line(leds_ < 0 ? "unset" : hex_number(uint32_t(leds_)));
  } else if ((words[1] == "dip" || words[1] == "power") && words.size() == 3 &&
             parse_u32(words[2], value) && value < 256) {
    (words[1] == "dip" ? dip_ : power_) = uint8_t(value);
    reply = Reply::ok();
  } else {
    return false;
  }
  return true;
}
