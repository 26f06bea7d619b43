#include "sim/rtp.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "hw/rtp_ext_records.h"
#include "sim/record.h"
#include "sim/session.h"

namespace {

std::string address(uint32_t network_order, uint16_t port) {
  return dotted(network_order) + ":" + std::to_string(port);
}

std::string describe(const rtp_connection_params& p) {
  return "remote=" + address(p.remote_addr, p.remote_port) +
         " local=" + address(p.local_addr, p.local_port) + " rx_pt=" + std::to_string(p.rx_pt) +
         " tx_pt=" + std::to_string(p.tx_pt) + " pfactor=" + std::to_string(p.packet_factor) +
         " vad=" + std::to_string(p.vad) + " rate=" + std::to_string(p.crate) +
         " ssrc=" + hex_number(p.ssrc) + " ttl=" + std::to_string(p.ttl) +
         " tos=" + hex_number(p.tos);
}

std::string describe(const rtp_channel_info& c) {
  return "tdm=" + std::to_string(c.tdm) + " dev_no=" + std::to_string(c.dev_no) +
         " chn=" + std::to_string(c.chn) + " word3=" + std::to_string(c.reserved);
}

// Whether the daemon has closed its last descriptor of `session` (the close not yet handled).
bool hung_up(const Session& session) {
  pollfd entry{session.fd(), 0, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP);
}

}  // namespace

void Rtp::on_close(Session& session) { streams_.erase(&session); }

std::map<int32_t, Session*> Rtp::held_channels(const Session* asking) const {
  std::map<int32_t, Session*> held;
  for (Session* s : sessions()) {
    auto it = streams_.find(s);
    if (s != asking && it != streams_.end() && it->second.channel >= 0 && !hung_up(*s)) {
      held[it->second.channel] = s;
    }
  }
  return held;
}

IoctlResult Rtp::add_channel(Session& session, Stream& stream, IoctlCall& call) {
  rtp_channel_info info;
  if (!read_record(call, info)) return {-1, EINVAL};
  if (!stream.begun) return {-1, EINVAL};
  if (stream.channel >= 0) return {-1, EBUSY};
  int32_t channel = info.tdm;
  if (channel >= 0) {
    if (channel < kFirstChannel || channel >= kFirstChannel + kChannels) return {-1, EINVAL};
    if (held_channels(&session).count(channel)) return {-1, EBUSY};
  } else {
    const std::map<int32_t, Session*> held = held_channels(&session);
    for (channel = kFirstChannel; channel < kFirstChannel + kChannels; ++channel) {
      if (!held.count(channel)) break;
    }
    if (channel == kFirstChannel + kChannels) return {-1, ENOSPC};
  }
  stream.channel = channel;
  info.tdm = channel;
  info.dev_no = (channel - kFirstChannel) / kChannelsPerDsp;
  info.chn = (channel - kFirstChannel) % kChannelsPerDsp;
  write_record(call, info);
  return {0, 0};
}

IoctlResult Rtp::on_ioctl(Session& session, IoctlCall& call) {
  Stream& stream = streams_[&session];
  switch (call.request) {
    case RtpIoctl::kBeginSession:
      if (!read_record(call, stream.params)) return {-1, EINVAL};
      stream.begun = true;
      return {0, 0};
    case RtpIoctl::kAddChannel:
      return add_channel(session, stream, call);
    case RtpIoctl::kInputOn:
    case RtpIoctl::kInputOff:
      stream.input = call.request == RtpIoctl::kInputOn;
      return {0, 0};
    case RtpIoctl::kStop3:
    case RtpIoctl::kStop10:
    case RtpIoctl::kStop11:
      return {0, 0};
    case RtpIoctl::kEventOn: {
      rtp_event_params params;
      if (!read_record(call, params) || params.type != kRtpEventPD) return {-1, EINVAL};
      stream.pd = true;
      return {0, 0};
    }
    case RtpIoctl::kEventOff: {
      uint32_t type;
      if (!read_record(call, type) || type != kRtpEventPD) return {-1, EINVAL};
      stream.pd = false;
      return {0, 0};
    }
    case RtpExtIoctl::kRtpAttach: {
      rtp_attach_session_params attach;
      if (!read_record(call, attach)) return {-1, EINVAL};
      return session_of("rtp_ext", attach.pid_rtp, attach.fd_rtp, call.pid) ? IoctlResult{0, 0}
                                                                              : IoctlResult{-1, EBADF};
    }
    default:
      return {-1, ENOTTY};
  }
}

std::string Rtp::decode(const IoctlCall& call) const {
  rtp_connection_params params;
  rtp_channel_info info;
  rtp_event_params event;
  uint32_t type;
  rtp_attach_session_params attach;
  switch (call.request) {
    case RtpIoctl::kBeginSession:
      return read_record(call, params) ? "BEGIN_SESSION " + describe(params) : "";
    case RtpIoctl::kAddChannel:
      return read_record(call, info) ? "ADD_CHANNEL " + describe(info) : "";
    case RtpIoctl::kStop3:
      return "STOP_3";
    case RtpIoctl::kInputOn:
      return "INPUT_ON";
    case RtpIoctl::kInputOff:
      return "INPUT_OFF";
    case RtpIoctl::kStop10:
      return "STOP_10";
    case RtpIoctl::kStop11:
      return "STOP_11";
    case RtpIoctl::kEventOn:
      if (!read_record(call, event)) return "";
      return "EVENT_ON type=" + std::to_string(event.type) +
             " timeout=" + std::to_string(event.timeout) +
             " timeout2=" + std::to_string(event.timeout2);
    case RtpIoctl::kEventOff:
      return read_record(call, type) ? "EVENT_OFF type=" + std::to_string(type) : "";
    case RtpExtIoctl::kRtpAttach:
      return read_record(call, attach) ? "RTP_ATTACH fd=" + std::to_string(attach.fd_rtp) +
                                             " pid=" + std::to_string(attach.pid_rtp)
                                       : "";
    default:
      return "";
  }
}

Reply Rtp::list() const {
  std::vector<std::pair<int32_t, std::string>> lines;
  for (const Session* s : sessions()) {
    auto it = streams_.find(s);
    const Stream stream = it == streams_.end() ? Stream{} : it->second;
    std::string line = stream.channel >= 0 ? std::to_string(stream.channel) : "none";
    if (stream.begun) line += " " + describe(stream.params);
    line += std::string(" input=") + (stream.input ? "on" : "off") +
            " pd=" + (stream.pd ? "on" : "off");
    lines.emplace_back(stream.channel, line);
  }
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> text;
  for (auto& l : lines) text.push_back(l.second);
  return Reply::of_list(text);
}

bool Rtp::command(const Words& words, Reply& reply) {
  if (words[0] != "rtp") return false;
  uint32_t v[4];
  if (words.size() == 2 && words[1] == "sessions") {
    reply = list();
  } else if (words.size() == 6 && words[1] == "event" && parse_u32(words[2], v[0]) &&
             parse_u32(words[3], v[1]) && parse_u32(words[4], v[2]) &&
             parse_u32(words[5], v[3])) {
    const std::map<int32_t, Session*> held = held_channels(nullptr);
    auto s = held.find(static_cast<int32_t>(v[0]));
    if (s == held.end()) {
      reply = Reply::error("no session on channel " + words[2]);
    } else {
      rtp_event event{};
      event.type = v[1];
      event.value = v[2];
      event.timeout = v[3];
      s->second->send(record_bytes(event));
      reply = Reply::ok();
    }
  } else {
    reply = Reply::error("usage: rtp sessions | rtp event CH TYPE VALUE TIMEOUT");
  }
  return true;
}
