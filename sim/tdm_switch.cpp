#include "sim/tdm_switch.h"

#include <cerrno>

#include "hw/mux_records.h"
#include "sim/record.h"

namespace {

constexpr uint32_t kIdleLine = 0xff;

bool valid(uint32_t channel) { return channel < TdmSwitch::kChannels; }

}  // namespace

bool TdmSwitch::knows(uint32_t request) const {
  return request == MuxIoctl::kConnect || request == MuxIoctl::kDisable ||
         request == MuxIoctl::kWrite || request == MuxIoctl::kRead;
}

uint32_t TdmSwitch::carried(uint32_t channel) const {
  auto it = outputs_.find(channel);
  if (it == outputs_.end()) return kIdleLine;
  const Source& s = it->second;
  if (s.kind == Source::kConstant) return s.value;
  if (s.kind == Source::kInput) {
    auto input = outputs_.find(s.value);
    if (input != outputs_.end() && input->second.kind == Source::kConstant) {
      return input->second.value;
    }
  }
  return kIdleLine;
}

IoctlResult TdmSwitch::on_ioctl(IoctlCall& call) {
  mux_connect connect;
  mux_disable disable;
  mux_value value;
  switch (call.request) {
    case MuxIoctl::kConnect:
      if (!read_record(call, connect) || !valid(connect.output) || !valid(connect.input)) break;
      outputs_[connect.output] = {Source::kInput, connect.input};
      return {0, 0};
    case MuxIoctl::kDisable:
      if (!read_record(call, disable) || !valid(disable.output)) break;
      outputs_[disable.output] = {Source::kOff, 0};
      return {0, 0};
    case MuxIoctl::kWrite:
      if (!read_record(call, value) || !valid(value.channel) || value.value > 0xff) break;
      outputs_[value.channel] = {Source::kConstant, value.value};
      return {0, 0};
    case MuxIoctl::kRead:
      if (!read_record(call, value) || !valid(value.channel)) break;
      value.value = carried(value.channel);
      write_record(call, value);
      return {0, 0};
  }
  return {-1, EINVAL};
}

std::string TdmSwitch::decode(const IoctlCall& call) const {
  mux_connect connect;
  mux_disable disable;
  mux_value value;
  switch (call.request) {
    case MuxIoctl::kConnect:
      if (!read_record(call, connect)) break;
      return "connect output=" + std::to_string(connect.output) +
             " input=" + std::to_string(connect.input);
    case MuxIoctl::kDisable:
      if (!read_record(call, disable)) break;
      return "disable output=" + std::to_string(disable.output);
    case MuxIoctl::kWrite:
    case MuxIoctl::kRead:
      if (!read_record(call, value)) break;
      return std::string(call.request == MuxIoctl::kWrite ? "write" : "read") +
             " channel=" + std::to_string(value.channel) + " value=" + hex_number(value.value);
  }
  return "";
}

bool TdmSwitch::command(const Words& words, Reply& reply) {
  if (words[0] != "switch") return false;
  uint32_t output;
  if (words.size() != 2 || !parse_u32(words[1], output)) {
    reply = Reply::error("usage: switch OUTPUT");
    return true;
  }
  auto it = outputs_.find(output);
  if (it == outputs_.end()) {
    reply = Reply::error("switch output " + std::to_string(output) + " never set");
  } else if (it->second.kind == Source::kInput) {
    reply = Reply::line(std::to_string(it->second.value));
  } else if (it->second.kind == Source::kConstant) {
    reply = Reply::line("const " + hex_number(it->second.value));
  } else {
    reply = Reply::line("off");
  }
  return true;
}
