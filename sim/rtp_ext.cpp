#include "sim/rtp_ext.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>

#include "hw/rtp_ext_records.h"
#include "sim/record.h"
#include "sim/session.h"

namespace {

std::string describe_init(const rtp_ext_init_params& p) {
  char text[96];
  std::snprintf(text, sizeof text, "etype=0x%04x words=%u,%u,%u,%u", p.etype, p.word1, p.word2,
                p.word3, p.word4);
  return text;
}

// Whether the daemon has yet to read what the simulator sent on `session`: the bytes of a
// UNIX socket stay charged to the sender until the reader takes them.
bool unread(const Session& session) {
  int queued = 0;
  return ::ioctl(session.fd(), SIOCOUTQ, &queued) == 0 && queued > 0;
}

}  // namespace

void RtpExt::on_open(Session& session) {
  index_[&session] = streams_.size();
  streams_.emplace_back();
  streams_.back().session = &session;
}

void RtpExt::on_close(Session& session) {
  auto it = index_.find(&session);
  if (it == index_.end()) return;
  Stream& s = streams_[it->second];
  s.session = nullptr;
  s.inbound.clear();
  s.late.clear();
  s.in_flight = false;
  index_.erase(it);
}

void RtpExt::on_write(Session& session, const std::string& frame) {
  auto it = index_.find(&session);
  if (it != index_.end()) streams_[it->second].sent.push_back(frame);
}

void RtpExt::advance(Stream& s) {
  if (!s.session) return;
  if (s.in_flight && !unread(*s.session)) {
    s.inbound.pop_front();
    s.in_flight = false;
  }
  if (s.in_flight) return;
  while (!s.inbound.empty() && s.filtered && s.inbound.front().addr != s.filter)
    s.inbound.pop_front();
  if (s.inbound.empty()) return;
  s.session->send(s.inbound.front().bytes);
  s.in_flight = true;
}

IoctlResult RtpExt::on_ioctl(Session& session, IoctlCall& call) {
  auto it = index_.find(&session);
  if (it == index_.end()) return {-1, EBADF};
  Stream& s = streams_[it->second];
  switch (call.request) {
    case RtpExtIoctl::kInit:
      return read_record(call, s.init) ? IoctlResult{0, 0} : IoctlResult{-1, EINVAL};
    case RtpExtIoctl::kAttach: {
      rtp_ext_attach_session_params attach;
      if (!read_record(call, attach)) return {-1, EINVAL};
      if (!session_of("rtp", attach.pid_rtp, attach.fd_rtp, call.pid)) return {-1, EBADF};
      s.attached = true;
      return {0, 0};
    }
    case RtpExtIoctl::kDetach:
      s.attached = false;
      return {0, 0};
    case RtpExtIoctl::kPacketInfo: {
      rtp_ext_packet_info info{};
      if (!read_record(call, info)) return {-1, EINVAL};
      advance(s);
      if (!s.in_flight) {
        // A packet held back arrives now, after the engine found none and before the read.
        if (!s.late.empty()) {
          queue(s, s.late.front());
          s.late.pop_front();
          advance(s);
        }
        return {-1, EAGAIN};
      }
      info.ssrc = s.inbound.front().ssrc;
      info.addr = s.inbound.front().addr;
      write_record(call, info);
      return {0, 0};
    }
    case RtpExtIoctl::kSetFilter: {
      rtp_ext_source_filter filter;
      if (!read_record(call, filter)) return {-1, EINVAL};
      s.filtered = true;
      s.filter = filter.addr;
      return {0, 0};
    }
    case RtpExtIoctl::kResetFilter:
      s.filtered = false;
      s.filter = 0;
      advance(s);
      return {0, 0};
    default:
      return {-1, ENOTTY};
  }
}

std::string RtpExt::decode(const IoctlCall& call) const {
  rtp_ext_init_params init;
  rtp_ext_attach_session_params attach;
  rtp_ext_source_filter filter;
  switch (call.request) {
    case RtpExtIoctl::kInit:
      return read_record(call, init) ? "INIT " + describe_init(init) : "";
    case RtpExtIoctl::kAttach:
      return read_record(call, attach) ? "ATTACH fd=" + std::to_string(attach.fd_rtp) +
                                             " pid=" + std::to_string(attach.pid_rtp)
                                       : "";
    case RtpExtIoctl::kDetach:
      return "DETACH";
    case RtpExtIoctl::kPacketInfo:
      return "PACKET_INFO";
    case RtpExtIoctl::kSetFilter:
      return read_record(call, filter) ? "SET_FILTER " + dotted(filter.addr) : "";
    case RtpExtIoctl::kResetFilter:
      return "RESET_FILTER";
    default:
      return "";
  }
}

RtpExt::Stream* RtpExt::stream(const std::string& number) {
  uint32_t n;
  return parse_u32(number, n) && n < streams_.size() ? &streams_[n] : nullptr;
}

Reply RtpExt::describe(const Stream& s) const {
  return Reply::line(std::string(s.session ? "open " : "closed ") + describe_init(s.init) +
                     (s.attached ? " attached" : " detached") +
                     " filter=" + (s.filtered ? dotted(s.filter) : "off"));
}

bool RtpExt::command(const Words& words, Reply& reply) {
  if (words[0] != "rtpext") return false;
  Stream* s = words.size() >= 3 ? stream(words[2]) : nullptr;
  Packet packet;
  if (words.size() >= 3 && !s) {
    reply = Reply::error("no session " + words[2]);
  } else if (words.size() == 3 && words[1] == "session") {
    reply = describe(*s);
  } else if (words.size() == 3 && words[1] == "sent") {
    std::vector<std::string> lines;
    for (const std::string& p : s->sent) lines.push_back(hex_bytes(p));
    reply = Reply::of_list(lines);
  } else if (words.size() == 6 && (words[1] == "rx" || words[1] == "late") &&
             read_packet(words, 3, packet)) {
    if (!s->session) {
      reply = Reply::error("session " + words[2] + " is closed");
      return true;
    }
    if (words[1] == "late") {
      s->late.push_back(packet);
    } else {
      queue(*s, packet);
      advance(*s);
    }
    reply = Reply::ok();
  } else if (words.size() >= 7 && words.size() % 3 == 1 && words[1] == "flood") {
    reply = flood(*s, words);
  } else if (words.size() == 3 && words[1] == "queued") {
    reply = Reply::line(std::to_string(s->inbound.size()));
  } else {
    reply = Reply::error(
        "usage: rtpext session N | rtpext sent N | rtpext rx N SSRC A.B.C.D HEX | rtpext flood N "
        "COUNT SSRC A.B.C.D HEX [SSRC A.B.C.D HEX]... | rtpext queued N | "
        "rtpext late N SSRC A.B.C.D HEX");
  }
  return true;
}

Reply RtpExt::flood(Stream& s, const Words& words) {
  uint32_t count;
  std::vector<Packet> streams;
  for (size_t i = 4; i + 2 < words.size(); i += 3) {
    Packet p;
    if (!read_packet(words, i, p)) return Reply::error("bad stream at word " + std::to_string(i));
    streams.push_back(p);
  }
  if (!parse_u32(words[3], count)) return Reply::error("bad count " + words[3]);
  if (!s.session) return Reply::error("session " + words[2] + " is closed");
  for (uint32_t i = 0; i < count; ++i) queue(s, streams[i % streams.size()]);
  advance(s);
  return Reply::ok();
}

bool RtpExt::read_packet(const Words& words, size_t at, Packet& packet) {
  in_addr addr;
  if (!parse_u32(words[at], packet.ssrc) || !::inet_aton(words[at + 1].c_str(), &addr) ||
      !parse_hex_bytes(words[at + 2], packet.bytes))
    return false;
  packet.addr = addr.s_addr;
  return true;
}

void RtpExt::queue(Stream& s, const Packet& packet) {
  if (!s.filtered || s.filter == packet.addr) s.inbound.push_back(packet);
}
