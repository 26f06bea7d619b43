// PcapWriter: the HDLC frames the simulated board carries, written to a pcapng file that tshark
// and other dissectors read. Each channel is one interface of the file, with the link type of
// what it carries: LAPD (LINKTYPE_LINUX_LAPD, 177) or MTP2 (LINKTYPE_MTP2_WITH_PHDR, 139).
// Every frame carries its direction twice: in the link type's pseudo-header and in the
// enhanced packet block's direction flags. The LAPD pseudo-header also carries the side of the
// link the channel is on, which tells a dissector who sent a frame, and so whether its C/R bit
// makes it a command or a response (Q.921 3.3.2).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "sim/unique_fd.h"

class PcapWriter {
 public:
  enum class LinkType : uint16_t { kMtp2 = 139, kLapd = 177 };
  // The side of the link a channel is on; MTP2 has none.
  enum class Side { kUser, kNetwork };

  // Starts a new file at `path` (replacing one there); false with errno on failure.
  bool open(const std::string& path);
  void close();
  bool is_open() const { return static_cast<bool>(fd_); }

  // One frame of switch channel `channel`, on `side` of the link; `outgoing` when the daemon
  // sent it.
  void write(uint32_t channel, LinkType type, Side side, bool outgoing, const std::string& frame);

 private:
  // The interface of (channel, type), described in the file on first use.
  uint32_t interface(uint32_t channel, LinkType type);
  void block(uint32_t type, const std::string& body);

  UniqueFd fd_;
  std::map<std::pair<uint32_t, LinkType>, uint32_t> interfaces_;
};
