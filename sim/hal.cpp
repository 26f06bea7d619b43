#include "sim/hal.h"

#include <cerrno>
#include <cstdio>

#include "sim/hal_clock.h"
#include "sim/hal_spi.h"
#include "sim/hal_status.h"
#include "sim/tdm_switch.h"

Hal::Hal() : DeviceModel("hal") {
  units_.push_back(std::make_unique<TdmSwitch>());
  units_.push_back(std::make_unique<HalClock>());
  units_.push_back(std::make_unique<HalSpi>());
  units_.push_back(std::make_unique<HalStatus>());
}

HalUnit* Hal::unit(uint32_t request) const {
  for (auto& u : units_) {
    if (u->knows(request)) return u.get();
  }
  return nullptr;
}

IoctlResult Hal::on_ioctl(Session&, IoctlCall& call) {
  HalUnit* u = unit(call.request);
  if (!u) return {-1, ENOTTY};
  ++counts_[call.request];
  return u->on_ioctl(call);
}

std::string Hal::decode(const IoctlCall& call) const {
  HalUnit* u = unit(call.request);
  return u ? u->decode(call) : "";
}

bool Hal::command(const Words& words, Reply& reply) {
  if (words[0] == "hal" && words.size() == 2 && words[1] == "counts") {
    std::vector<std::string> lines;
    for (auto& [request, count] : counts_) {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08x", request);
      lines.push_back(std::string(number) + " " + std::to_string(count));
    }
    reply = Reply::of_list(lines);
    return true;
  }
  for (auto& u : units_) {
    if (u->command(words, reply)) return true;
  }
  if (words[0] != "hal") return false;
  reply = Reply::error("usage: hal counts | hal dip N | hal power N | hal leds");
  return true;
}
