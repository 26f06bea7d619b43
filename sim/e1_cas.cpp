#include "sim/e1_cas.h"

#include <cerrno>

#include "sim/record.h"

namespace {

std::string channel_text(const cas_channel& c) {
  return "trunk=" + std::to_string(c.trunk) + " ts=" + std::to_string(c.timeslot) +
         " rx=" + hex_number(c.rx) + " tx=" + hex_number(c.tx);
}

}  // namespace

int E1Cas::check(const cas_channel& c) const {
  if (c.trunk >= kTrunks || c.timeslot == 0 || c.timeslot == 16 || c.timeslot > 31) {
    return EINVAL;
  }
  return trunk_open_[c.trunk] ? 0 : ENXIO;
}

IoctlResult E1Cas::trunk_request(const IoctlCall& call) {
  if (call.has_record || call.value >= kTrunks) return {-1, EINVAL};
  uint32_t trunk = static_cast<uint32_t>(call.value);
  bool open = call.request == CasIoctl::kOpenTrunk;
  trunk_open_[trunk] = open;
  if (!open) {
    for (auto& entry : lines_) {
      if (entry.first.first == trunk) entry.second.open = false;
    }
  }
  return {0, 0};
}

IoctlResult E1Cas::channel_request(IoctlCall& call) {
  cas_channel_op op;
  cas_channel c;
  bool is_op = call.request == CasIoctl::kChannelOp;
  if (is_op ? !read_record(call, op) : !read_record(call, c)) return {-1, EINVAL};
  if (is_op) c = op.channel;
  if (int error = check(c)) return {-1, error};
  Line& line = lines_[Key(c.trunk, c.timeslot)];
  if (is_op) {
    if (op.operation > 1) return {-1, EINVAL};
    if (op.operation == kCasCloseChannel && !line.open) return {-1, ENXIO};
    line.open = op.operation == kCasOpenChannel;
    if (line.open) line.tx = c.tx & 15;
    return {0, 0};
  }
  if (!line.open) return {-1, ENXIO};
  if (call.request == CasIoctl::kSetBits) {
    line.tx = c.tx & 15;
  } else {
    c.rx = line.rx;
    c.tx = line.tx;
    write_record(call, c);
  }
  return {0, 0};
}

IoctlResult E1Cas::on_ioctl(Session&, IoctlCall& call) {
  switch (call.request) {
    case CasIoctl::kOpenTrunk:
    case CasIoctl::kCloseTrunk:
      return trunk_request(call);
    case CasIoctl::kSetBits:
    case CasIoctl::kGetBits:
    case CasIoctl::kChannelOp:
      return channel_request(call);
    default:
      return {-1, ENOTTY};
  }
}

std::string E1Cas::decode(const IoctlCall& call) const {
  cas_channel_op op;
  cas_channel c;
  switch (call.request) {
    case CasIoctl::kOpenTrunk:
    case CasIoctl::kCloseTrunk:
      if (call.has_record) return "";
      return std::string(call.request == CasIoctl::kOpenTrunk ? "open-trunk " : "close-trunk ") +
             std::to_string(call.value);
    case CasIoctl::kSetBits:
    case CasIoctl::kGetBits:
      if (!read_record(call, c)) return "";
      return std::string(call.request == CasIoctl::kSetBits ? "set-bits " : "get-bits ") + channel_text(c);
    case CasIoctl::kChannelOp:
      if (!read_record(call, op)) return "";
      return (op.operation == kCasOpenChannel   ? "open-channel "
              : op.operation == kCasCloseChannel ? "close-channel "
                                  : "channel-op " + std::to_string(op.operation) + " ") +
             channel_text(op.channel);
    default:
      return "";
  }
}

bool E1Cas::command(const Words& words, Reply& reply) {
  if (words[0] != "cas") return false;
  uint32_t v[3] = {};
  bool numbers = words.size() >= 3 && words.size() <= 5;
  for (size_t i = 2; numbers && i < words.size(); ++i) numbers = parse_u32(words[i], v[i - 2]);
  numbers = numbers && v[0] < kTrunks && v[1] < 32;
  if (numbers && words.size() == 3 && words[1] == "trunk") {
    reply = Reply::line(trunk_open_[v[0]] ? "open" : "closed");
  } else if (numbers && words.size() == 4 && words[1] == "channel") {
    const Line& line = lines_[Key(v[0], v[1])];
    reply = Reply::line(line.open ? "open rx=" + hex_number(line.rx) + " tx=" + hex_number(line.tx)
                                  : "closed rx=" + hex_number(line.rx));
  } else if (numbers && words.size() == 5 && words[1] == "rx" && v[2] < 16) {
    Line& line = lines_[Key(v[0], v[1])];
    bool changed = line.rx != v[2];
    line.rx = static_cast<uint8_t>(v[2]);
    if (line.open && changed) {
      cas_channel event{v[0], v[1], line.rx, line.tx, {0, 0}};
      broadcast(record_bytes(event));
    }
    reply = Reply::ok();
  } else {
    reply = Reply::error("usage: cas trunk T | cas channel T TS | cas rx T TS BITS (T 0-3, "
                         "TS 0-31, BITS 0-15)");
  }
  return true;
}
