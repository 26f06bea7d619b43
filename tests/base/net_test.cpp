#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "base/fd.h"
#include "base/net.h"
#include "base/net_internal.h"

namespace {

TEST(Net, IfconfigRanges) {
  struct Case {
    const char* name;
    uint32_t address;
    Net::ifconfig_mode_t mode;
    bool selected;
  } cases[] = {
      {"LO", 0x7F000001, 1, false},     {"lo0", 0x7F000001, 1, true},
      {"e", 0x0A000001, 4, true},       {"e", 0x0B000001, 4, false},
      {"e", 0xAC100001, 4, true},       {"e", 0xAC1FFFFF, 4, true},
      {"e", 0xAC200000, 4, false},      {"e", 0xAC0FFFFF, 4, false},
      {"e", 0xC0A8FFFF, 4, true},       {"e", 0xC0A90000, 4, false},
      {"e", 0xA9FE0000, 2, true},       {"e", 0xA9FF0000, 2, false},
      {"lo", 0xA9FE0001, 1 | 2, true},  {"lo", 0x7F000001, 1 | 2 | 4, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Net::ifconfig_selects(c.name, c.address, c.mode), c.selected)
        << c.name << " " << std::hex << c.address << " mode " << c.mode;
}

// Lists what Net::ifconfig finds, on the error stream, in a network namespace of its own where
// the loopback link carries 127.0.0.1 and the aliases lo:1 = 127.0.0.2 and lo:2 = 127.0.0.3.
[[noreturn]] void list_interfaces_of_own_namespace() {
  if (::unshare(CLONE_NEWNET) != 0) std::_Exit(77);
  Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq r{};
  std::strcpy(r.ifr_name, "lo");
  r.ifr_flags = IFF_UP;
  if (::ioctl(sock.get(), SIOCSIFFLAGS, &r) != 0) std::_Exit(1);
  for (int i = 1; i <= 2; ++i) {
    r = ifreq{};
    std::snprintf(r.ifr_name, IFNAMSIZ, "lo:%d", i);
    auto* in = reinterpret_cast<sockaddr_in*>(&r.ifr_addr);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(0x7F000001 + i);
    if (::ioctl(sock.get(), SIOCSIFADDR, &r) != 0) std::_Exit(1);
  }
  std::list<INet4::Addr> addresses;
  std::list<std::string> names;
  std::cerr << Net::ifconfig(addresses, 0) << ' ' << Net::ifconfig(names, 0, IFF_UP);
  for (const INet4::Addr& a : addresses) std::cerr << ' ' << a;
  for (const std::string& name : names) std::cerr << ' ' << name;
  std::cerr << std::endl;
  std::_Exit(0);
}

// Each interface record of the kernel's answer is read at its own place.
TEST(Net, IfconfigReadsEveryInterfaceRecord) {
  if (::geteuid() != 0) GTEST_SKIP() << "a network namespace needs root";
  EXPECT_EXIT(list_interfaces_of_own_namespace(), testing::ExitedWithCode(0),
              "^3 3 127.0.0.1:0 127.0.0.2:0 127.0.0.3:0 lo lo:1 lo:2\n$");
}

}  // namespace
