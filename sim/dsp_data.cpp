#include "sim/dsp_data.h"

#include <cerrno>
#include <set>

#include "sim/record.h"
#include "sim/session.h"

int DspData::accept_open(int) {
  return channels_.size() < static_cast<size_t>(kChannels) ? 0 : ENOSPC;
}

void DspData::on_open(Session& session) {
  std::set<int32_t> taken;
  for (const auto& entry : channels_) taken.insert(entry.second.number);
  int32_t number = kFirstChannel;
  while (taken.count(number)) number += kDspDataBChannels + 1;
  channels_.emplace(&session, Channel{number});
}

void DspData::on_close(Session& session) { channels_.erase(&session); }

void DspData::on_write(Session&, const std::string& frame) {
  sent_.add(frame);
}

IoctlResult DspData::on_ioctl(Session& session, IoctlCall& call) {
  auto found = channels_.find(&session);
  if (found == channels_.end()) return {-1, EBADF};
  Channel& c = found->second;
  if (call.request == DspDataIoctl::kChannelId) {
    int32_t out = c.number;
    if (call.has_record) {
      if (!read_record(call, out)) return {-1, EINVAL};
      write_record(call, c.number);
    }
    return {c.number, 0};
  }
  if (call.request == DspDataIoctl::kAddB) {
    dsp_data_bchannel b;
    if (!read_record(call, b) || b.index < 0 || b.index >= kDspDataBChannels || c.added[b.index]) {
      return {-1, EINVAL};
    }
    c.added[b.index] = true;
    b.timeslot = c.number + 1 + b.index;
    write_record(call, b);
    return {0, 0};
  }
  if (call.request == DspDataIoctl::kRemoveB) {
    int32_t index;
    if (!read_record(call, index) || index < 0 || index >= kDspDataBChannels || !c.added[index]) {
      return {-1, EINVAL};
    }
    c.added[index] = false;
    return {0, 0};
  }
  return {-1, ENOTTY};
}

std::string DspData::decode(const IoctlCall& call) const {
  dsp_data_bchannel b;
  int32_t index;
  if (call.request == DspDataIoctl::kChannelId) return "CHANNEL_ID";
  if (call.request == DspDataIoctl::kAddB && read_record(call, b)) {
    return "ADD_B index=" + std::to_string(b.index) + " ts=" + std::to_string(b.timeslot);
  }
  if (call.request == DspDataIoctl::kRemoveB && read_record(call, index)) {
    return "REMOVE_B index=" + std::to_string(index);
  }
  return "";
}

bool DspData::command(const Words& words, Reply& reply) {
  if (words[0] != "dsp-data") return false;
  std::string bytes;
  if (words.size() == 3 && words[1] == "rx" && parse_hex_bytes(words[2], bytes)) {
    broadcast(bytes);
    reply = Reply::ok();
  } else if (words.size() == 2 && words[1] == "sent") {
    reply = Reply::of_list(sent_.hex_lines());
  } else {
    reply = Reply::error("usage: dsp-data rx HEX | dsp-data sent");
  }
  return true;
}
