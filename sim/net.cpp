#include "sim/net.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int kFirstIndex = 100;

bool ifreq_of(const IoctlCall& call, net_ifreq& r) {
  if (!call.has_record || call.bytes.size() < sizeof r) return false;
  std::memcpy(&r, call.bytes.data(), sizeof r);
  r.name[sizeof r.name - 1] = 0;
  return true;
}

std::string hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", v);
  return text;
}

}  // namespace

IoctlResult Net::on_ioctl(Session&, IoctlCall& call) {
  net_ifreq r;
  if (!ifreq_of(call, r)) return {-1, EINVAL};
  auto it = interfaces_.find(r.name);
  if (it == interfaces_.end()) return {-1, ENODEV};
  Interface& iface = it->second;
  std::string settings = call.bytes.substr(sizeof r);
  IoctlResult result{0, 0};
  switch (call.request) {
    case NetIoctl::kGetIndex:
      r.u.index = kFirstIndex + static_cast<int32_t>(std::distance(interfaces_.begin(), it));
      break;
    case NetIoctl::kGetFlags:
      r.u.flags = static_cast<int16_t>(iface.flags);
      break;
    case NetIoctl::kSetFlags:
      iface.flags = static_cast<uint16_t>(r.u.flags);
      break;
    case NetIoctl::kWanDev:
      result = wan(iface, r, settings);
      break;
    default:
      return {-1, ENOTTY};
  }
  std::memcpy(&call.bytes[0], &r, sizeof r);
  call.bytes.replace(sizeof r, settings.size(), settings);
  return result;
}

IoctlResult Net::wan(Interface& iface, net_ifreq& r, std::string& settings) {
  if (settings.size() != r.u.settings.size) return {-1, EINVAL};
  switch (r.u.settings.type) {
    case WanSettings::kGetIface: {
      if (settings.size() < WanSettings::kSlotMapOffset + 4) return {-1, ENOBUFS};
      r.u.settings.type = WanSettings::kIfaceE1;
      std::memcpy(&settings[WanSettings::kSlotMapOffset], &iface.channel, 4);
      return {0, 0};
    }
    case WanSettings::kProtoPpp:
      iface.ppp = true;
      return {0, 0};
    case WanSettings::kProtoHdlc:
      iface.ppp = false;
      return {0, 0};
  }
  return {-1, EINVAL};
}

std::string Net::decode(const IoctlCall& call) const {
  net_ifreq r;
  if (!ifreq_of(call, r)) return "";
  const std::string name = std::string(" ") + r.name;
  switch (call.request) {
    case NetIoctl::kGetIndex:
      return "SIOCGIFINDEX" + name;
    case NetIoctl::kGetFlags:
      return "SIOCGIFFLAGS" + name;
    case NetIoctl::kSetFlags:
      return "SIOCSIFFLAGS" + name + " flags=" + hex(uint16_t(r.u.flags));
    case NetIoctl::kWanDev:
      return "SIOCWANDEV" + name + " type=" + hex(r.u.settings.type) +
             " size=" + std::to_string(r.u.settings.size);
  }
  return "";
}

bool Net::command(const Words& words, Reply& reply) {
  if (words[0] != "net") return false;
  uint32_t n, channel;
  if (words.size() == 4 && words[1] == "hdlc" && parse_u32(words[2], n) && n < 256 &&
      parse_u32(words[3], channel)) {
    interfaces_["hdlc" + std::to_string(n)].channel = channel;
    reply = Reply::ok();
  } else if (words.size() == 3 && words[1] == "remove" && parse_u32(words[2], n)) {
    interfaces_.erase("hdlc" + std::to_string(n));
    reply = Reply::ok();
  } else if (words.size() == 2 && words[1] == "show") {
    std::vector<std::string> lines;
    for (const auto& i : interfaces_) {
      lines.push_back(i.first + " flags=" + hex(i.second.flags) +
                      " proto=" + (i.second.ppp ? "ppp" : "hdlc") +
                      " channel=" + std::to_string(i.second.channel));
    }
    reply = Reply::of_list(lines);
  } else {
    reply = Reply::error("usage: net hdlc N CHANNEL | net remove N | net show");
  }
  return true;
}
