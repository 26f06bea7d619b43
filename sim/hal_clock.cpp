#include "sim/hal_clock.h"

#include <cerrno>

#include "hw/hal_records.h"
#include "sim/record.h"

namespace {

const char* const kNames[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "reserved6", "reserved7"};

std::string describe(int32_t source) {
  bool named = source >= 0 && source < 8;
  return std::to_string(source) + (named ? std::string(" ") + kNames[source] : "");
}

}  // namespace

bool HalClock::knows(uint32_t request) const { return request == ClockIoctl::kSelect; }

IoctlResult HalClock::on_ioctl(IoctlCall& call) {
  int32_t source;
  if (!read_record(call, source) || source < 0 || source > 7) return {-1, EINVAL};
  source_ = source;
  return {0, 0};
}

std::string HalClock::decode(const IoctlCall& call) const {
  int32_t source;
  return read_record(call, source) ? "HW_CLOCK_SELECT " + describe(source) : "";
}

bool HalClock::command(const Words& words, Reply& reply) {
  if (words[0] != "clock") return false;
  if (words.size() != 1) {
    reply = Reply::error("usage: clock");
  } else {
    reply = Reply::line(source_ < 0 ? "unset" : describe(source_));
  }
  return true;
}
