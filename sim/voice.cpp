#include "sim/voice.h"

#include <cerrno>

#include "hw/rtp_records.h"
#include "sim/record.h"

Voice::Voice()
    : DeviceModel("voice"),
      capacity_{{VoiceIoctl::kG711, 64},
                {VoiceIoctl::kG723, 16},
                {VoiceIoctl::kG729, 16},
                {VoiceIoctl::kG711Mcc, 32},
                {VoiceIoctl::kUniversal, 64}} {}

IoctlResult Voice::on_ioctl(Session&, IoctlCall& call) {
  if (call.request != VoiceIoctl::kCapacity) return {-1, ENOTTY};
  uint32_t selector;
  if (!read_record(call, selector)) return {-1, EINVAL};
  auto it = capacity_.find(selector);
  const int32_t n = it == capacity_.end() ? 0 : it->second;
  return n < 0 ? IoctlResult{-1, EINVAL} : IoctlResult{n, 0};
}

std::string Voice::decode(const IoctlCall& call) const {
  uint32_t selector;
  if (call.request == VoiceIoctl::kCapacity && read_record(call, selector)) {
    return "CAPACITY selector=" + std::to_string(selector);
  }
  return "";
}

bool Voice::command(const Words& words, Reply& reply) {
  if (words[0] != "voice") return false;
  uint32_t selector;
  int32_t n;
  if (words.size() == 4 && words[1] == "capacity" && parse_u32(words[2], selector) &&
      parse_i32(words[3], n)) {
    capacity_[selector] = n;
    reply = Reply::ok();
  } else {
    reply = Reply::error("usage: voice capacity SELECTOR N");
  }
  return true;
}
