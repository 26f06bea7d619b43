#include "base/net.h"

#include <net/if.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "base/fd.h"
#include "base/net_internal.h"

namespace Net {

std::string hostname() {
  char name[512];
  if (gethostname(name, sizeof name) != 0) return std::string();
  name[sizeof name - 1] = '\0';
  return name;
}

int hostname(const std::string& name) { return sethostname(name.data(), name.size()); }

bool ifconfig_selects(const char* name, uint32_t address, ifconfig_mode_t mode) {
  if (mode == 0) return true;
  auto in = [address](uint32_t net, int bits) {
    return (address >> (32 - bits)) == (net >> (32 - bits));
  };
  if ((mode & ifconfig_not_loopback) && strcasecmp(name, "lo") != 0) return true;
  if ((mode & ifconfig_link_local) && in(0xA9FE0000, 16)) return true;
  if ((mode & ifconfig_private) && (in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16)))
    return true;
  return false;
}

namespace {

// Calls `take` with the socket and a copy of every selected IPv4 interface record; returns how
// many records it accepted, or -1 when the list cannot be read.
int for_each_selected(ifconfig_mode_t mode, const std::function<bool(int, ifreq&)>& take) {
  Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!sock) return -1;
  ifreq records[16];
  std::memset(records, 0, sizeof records);
  ifconf conf;
  conf.ifc_len = sizeof records;
  conf.ifc_req = records;
  if (::ioctl(sock.get(), SIOCGIFCONF, &conf) != 0) return -1;
  int count = 0;
  const int n = conf.ifc_len / static_cast<int>(sizeof(ifreq));
  for (int i = 0; i < n && i < 16; ++i) {
    ifreq r = records[i];
    if (r.ifr_addr.sa_family != AF_INET) continue;
    r.ifr_name[IFNAMSIZ - 1] = '\0';
    const auto* in = reinterpret_cast<const sockaddr_in*>(&r.ifr_addr);
    if (!ifconfig_selects(r.ifr_name, ntohl(in->sin_addr.s_addr), mode)) continue;
    if (take(sock.get(), r)) ++count;
  }
  return count;
}

}  // namespace

int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode) {
  return for_each_selected(mode, [&out](int sock, ifreq& r) {
    if (::ioctl(sock, SIOCGIFADDR, &r) != 0) return false;
    INet4::Addr a;
    a.Assign(reinterpret_cast<const sockaddr_in*>(&r.ifr_addr)->sin_addr.s_addr);
    out.push_back(a);
    return true;
  });
}

int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags) {
  return for_each_selected(mode, [&out, flags](int sock, ifreq& r) {
    ifreq q = r;
    if (::ioctl(sock, SIOCGIFADDR, &q) != 0) return false;
    if (::ioctl(sock, SIOCGIFFLAGS, &r) != 0) return false;
    if ((static_cast<unsigned short>(r.ifr_flags) & flags) != flags) return false;
    out.push_back(r.ifr_name);
    return true;
  });
}

}  // namespace Net
