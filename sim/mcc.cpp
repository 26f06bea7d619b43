#include "sim/mcc.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/socket.h>

#include "sim/record.h"
#include "sim/session.h"

namespace {

constexpr uint32_t kMtp2Mode = 3;

std::string describe(const mcc_allocation& a) {
  return "mode=" + std::to_string(a.mode) + " rx-size=" + std::to_string(a.rx_packet_size) +
         " rx-threshold=" + std::to_string(a.rx_threshold) +
         " tx-threshold=" + std::to_string(a.tx_threshold);
}

}  // namespace

Mcc::Channel* Mcc::channel(uint32_t number) {
  for (auto& entry : channels_) {
    if (entry.second.number == number) return &entry.second;
  }
  return nullptr;
}

Mcc::Channel* Mcc::channel(const std::string& word) {
  uint32_t number;
  return parse_u32(word, number) ? channel(number) : nullptr;
}

void Mcc::on_close(Session& session) {
  auto found = channels_.find(&session);
  if (found == channels_.end()) return;
  split(found->second);
  channels_.erase(found);
}

void Mcc::on_write(Session& session, const std::string& frame) {
  auto found = channels_.find(&session);
  if (found == channels_.end()) {
    std::cerr << "boardsim: mcc/ctl: frame on a channel never allocated, dropped" << std::endl;
    return;
  }
  Channel& sender = found->second;
  sender.sent.add(frame);
  capture(sender, true, frame);
  if (Channel* peer = sender.peer < 0 ? nullptr : channel(static_cast<uint32_t>(sender.peer))) {
    receive(*peer, frame);
  }
}

void Mcc::receive(Channel& receiver, const std::string& frame) {
  capture(receiver, false, frame);
  receiver.session->send(frame);
}

void Mcc::capture(const Channel& c, bool outgoing, const std::string& frame) {
  capture_.write(c.number,
                 c.allocation.mode == kMtp2Mode ? PcapWriter::LinkType::kMtp2
                                                : PcapWriter::LinkType::kLapd,
                 c.side, outgoing, frame);
}

// SS7 hardware repeats the last FISU or LSSU on the line while it has nothing else to send; the
// model delivers each unit once, so a cable plugged in between two SS7 links hands each the last
// such unit the other sent, once, and links started before the join still align.
void Mcc::hand_over_line_state(const Channel& from, Channel& to) {
  if (from.allocation.mode != kMtp2Mode || to.allocation.mode != kMtp2Mode) return;
  for (auto unit = from.sent.frames().rbegin(); unit != from.sent.frames().rend(); ++unit) {
    // Three octets of header, then no (FISU) or one or two (LSSU) octets of status.
    if (unit->size() >= 3 && unit->size() <= 5) {
      receive(to, *unit);
      return;
    }
  }
}

void Mcc::split(Channel& c) {
  if (c.peer < 0) return;
  if (Channel* peer = channel(static_cast<uint32_t>(c.peer))) peer->peer = -1;
  c.peer = -1;
}

IoctlResult Mcc::on_ioctl(Session& session, IoctlCall& call) {
  auto found = channels_.find(&session);
  if (call.request == MccIoctl::kCapacity) {
    mcc_capacity answer{};
    if (!read_record(call, answer) || found != channels_.end()) return {-1, EINVAL};
    write_record(call, capacity_);
    return {0, 0};
  }
  if (call.request == MccIoctl::kTimeslot) {
    if (found == channels_.end()) return {-1, EINVAL};
    return {static_cast<int>(found->second.number), 0};
  }
  if (call.request != MccIoctl::kAllocate) return {-1, ENOTTY};
  mcc_allocation allocation;
  if (!read_record(call, allocation)) return {-1, EINVAL};
  if (found != channels_.end()) return {-1, EBUSY};
  for (uint32_t number = kFirstChannel; number < kFirstChannel + kChannels; ++number) {
    if (!channel(number)) {
      channels_.emplace(&session, Channel{number, allocation, &session, -1, false, {},
                                          PcapWriter::Side::kUser});
      return {0, 0};
    }
  }
  return {-1, ENOSPC};
}

std::string Mcc::decode(const IoctlCall& call) const {
  mcc_allocation allocation;
  if (call.request == MccIoctl::kAllocate && read_record(call, allocation)) {
    return "MCC_ALLOCATE " + describe(allocation) + " word2=" + std::to_string(allocation.reserved);
  }
  if (call.request == MccIoctl::kTimeslot && !call.has_record) return "MCC_TIMESLOT";
  if (call.request == MccIoctl::kCapacity && call.has_record) return "MCC_CAPACITY";
  return "";
}

Reply Mcc::list() const {
  std::vector<const Channel*> sorted;
  for (const auto& entry : channels_) sorted.push_back(&entry.second);
  std::sort(sorted.begin(), sorted.end(),
            [](const Channel* a, const Channel* b) { return a->number < b->number; });
  std::vector<std::string> lines;
  for (const Channel* c : sorted) {
    std::string line = std::to_string(c->number) + " " + describe(c->allocation);
    if (c->peer >= 0) line += " joined=" + std::to_string(c->peer);
    if (c->held) line += " held";
    if (c->side == PcapWriter::Side::kNetwork) line += " network";
    lines.push_back(line);
  }
  return Reply::of_list(lines);
}

bool Mcc::command(const Words& words, Reply& reply) {
  if (words[0] != "mcc") return false;
  const std::string verb = words.size() > 1 ? words[1] : "";
  Channel* c = words.size() > 2 ? channel(words[2]) : nullptr;
  std::string bytes;
  if (verb == "channels" && words.size() == 2) {
    reply = list();
  } else if (verb == "capacity" && words.size() == 2) {
    reply = Reply::line(std::to_string(capacity_.data) + " " + std::to_string(capacity_.bri) +
                        " " + std::to_string(capacity_.transparent));
  } else if (verb == "capacity" && words.size() == 5) {
    mcc_capacity set{};
    if (parse_u32(words[2], set.data) && parse_u32(words[3], set.bri) &&
        parse_u32(words[4], set.transparent)) {
      capacity_ = set;
      reply = Reply::ok();
    } else {
      reply = Reply::error("usage: mcc capacity [DATA BRI TRANSPARENT]");
    }
  } else if (verb == "capture" && words.size() == 3) {
    if (words[2] == "off") {
      capture_.close();
      reply = Reply::ok();
    } else {
      reply = capture_.open(words[2]) ? Reply::ok() : Reply::error(std::strerror(errno));
    }
  } else if (words.size() < 3 || !c) {
    reply = Reply::error(words.size() < 3 ? "usage: mcc channels | rx | sent | hold | release | "
                                            "hangup | join | split | side | capture"
                                          : "no channel " + words[2]);
  } else if (verb == "rx" && words.size() == 4 && parse_hex_bytes(words[3], bytes)) {
    receive(*c, bytes);
    reply = Reply::ok();
  } else if (verb == "sent" && words.size() == 3) {
    reply = Reply::of_list(c->sent.hex_lines());
  } else if ((verb == "hold" || verb == "release") && words.size() == 3) {
    c->held = verb == "hold";
    c->session->hold_frames(c->held);
    reply = Reply::ok();
  } else if (verb == "hangup" && words.size() == 3) {
    ::shutdown(c->session->fd(), SHUT_RDWR);
    reply = Reply::ok();
  } else if (verb == "join" && words.size() == 4) {
    Channel* other = channel(words[3]);
    if (!other || other == c) {
      reply = Reply::error("no channel " + words[3] + " to join");
    } else {
      split(*c);
      split(*other);
      c->peer = static_cast<int32_t>(other->number);
      other->peer = static_cast<int32_t>(c->number);
      hand_over_line_state(*c, *other);
      hand_over_line_state(*other, *c);
      reply = Reply::ok();
    }
  } else if (verb == "split" && words.size() == 3) {
    split(*c);
    reply = Reply::ok();
  } else if (verb == "side" && words.size() == 4 && (words[3] == "user" || words[3] == "network")) {
    c->side = words[3] == "user" ? PcapWriter::Side::kUser : PcapWriter::Side::kNetwork;
    reply = Reply::ok();
  } else {
    reply = Reply::error("usage: mcc rx CH HEX | sent CH | hold CH | release CH | hangup CH | "
                         "join A B | split A | side CH user|network");
  }
  return true;
}
