#include "sim/pcap_writer.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>

namespace {

// pcapng block types and option codes (draft-ietf-opsawg-pcapng sections 4 and 3.5).
constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 1;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kEpbFlags = 2;
constexpr uint32_t kInbound = 1, kOutbound = 2;

// The Linux LAPD pseudo-header, a cooked (SLL) header in network order.
constexpr uint16_t kPacketHost = 0, kPacketOutgoing = 4;
constexpr uint16_t kArphrdLapd = 8445;
constexpr uint16_t kEthPLapd = 0x0030;

void put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void put16_be(std::string& out, uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xff);
}
void pad4(std::string& out) { out.append((4 - out.size() % 4) % 4, '\0'); }

void option(std::string& out, uint16_t code, const std::string& value) {
  put16(out, code);
  put16(out, static_cast<uint16_t>(value.size()));
  out += value;
  pad4(out);
}

void end_of_options(std::string& out) { put32(out, 0); }

std::string pseudo_header(PcapWriter::LinkType type, PcapWriter::Side side, uint32_t channel,
                          bool outgoing) {
  std::string header;
  if (type == PcapWriter::LinkType::kLapd) {
    put16_be(header, outgoing ? kPacketOutgoing : kPacketHost);
    put16_be(header, kArphrdLapd);
    put16_be(header, 1);  // address length
    // The address, one byte: 1 on the network side of the link, 0 on the user side.
    header += static_cast<char>(side == PcapWriter::Side::kNetwork ? 1 : 0);
    header.append(7, '\0');
    put16_be(header, kEthPLapd);
  } else {
    header += static_cast<char>(outgoing ? 1 : 0);  // sent
    header += '\0';                                   // Q.703 Annex A not used
    put16_be(header, static_cast<uint16_t>(channel));  // link number
  }
  return header;
}

}  // namespace

bool PcapWriter::open(const std::string& path) {
  close();
  fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd_) return false;
  std::string body;
  put32(body, kByteOrderMagic);
  put16(body, 1);  // version 1.0
  put16(body, 0);
  put32(body, 0xffffffff);  // section length unknown
  put32(body, 0xffffffff);
  block(kSectionHeader, body);
  return true;
}

void PcapWriter::close() {
  fd_.reset();
  interfaces_.clear();
}

uint32_t PcapWriter::interface(uint32_t channel, LinkType type) {
  auto key = std::make_pair(channel, type);
  auto found = interfaces_.find(key);
  if (found != interfaces_.end()) return found->second;
  uint32_t id = static_cast<uint32_t>(interfaces_.size());
  interfaces_[key] = id;
  std::string body;
  put16(body, static_cast<uint16_t>(type));
  put16(body, 0);
  put32(body, 0);  // no snapshot limit
  option(body, kIfName, "mcc" + std::to_string(channel));
  end_of_options(body);
  block(kInterfaceDescription, body);
  return id;
}

void PcapWriter::write(uint32_t channel, LinkType type, Side side, bool outgoing,
                       const std::string& frame) {
  if (!fd_) return;
  uint32_t id = interface(channel, type);
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  uint64_t us = uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
  std::string data = pseudo_header(type, side, channel, outgoing) + frame;
  std::string body;
  put32(body, id);
  put32(body, static_cast<uint32_t>(us >> 32));
  put32(body, static_cast<uint32_t>(us));
  put32(body, static_cast<uint32_t>(data.size()));
  put32(body, static_cast<uint32_t>(data.size()));
  body += data;
  pad4(body);
  std::string flags;
  put32(flags, outgoing ? kOutbound : kInbound);
  option(body, kEpbFlags, flags);
  end_of_options(body);
  block(kEnhancedPacket, body);
}

void PcapWriter::block(uint32_t type, const std::string& body) {
  std::string out;
  uint32_t length = static_cast<uint32_t>(body.size() + 12);
  put32(out, type);
  put32(out, length);
  out += body;
  put32(out, length);
  if (::write(fd_.get(), out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
    std::cerr << "boardsim: pcap: " << std::strerror(errno) << std::endl;
    close();
  }
}
