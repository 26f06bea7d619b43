#include <gtest/gtest.h>

#include <net/if.h>
#include <unistd.h>

#include <algorithm>

#include "base/net.h"
#include "base/net_internal.h"

namespace {

TEST(Net, IfconfigSelection) {
  struct Interface {
    const char* name;
    uint32_t address;
  } const host[] = {
      {"lo", 0x7F000001},    // 127.0.0.1
      {"eth0", 0xC0A8010A},  // 192.168.1.10
      {"eth1", 0xA9FE0303},  // 169.254.3.3
  };
  struct Case {
    Net::ifconfig_mode_t mode;
    const char* selected;
  } cases[] = {
      {0, "lo eth0 eth1 "}, {1, "eth0 eth1 "}, {2, "eth1 "},      {4, "eth0 "},
      {6, "eth0 eth1 "},    {5, "eth0 eth1 "}, {8, ""},
  };
  for (const Case& c : cases) {
    std::string got;
    for (const Interface& i : host)
      if (Net::ifconfig_selects(i.name, i.address, c.mode)) got += std::string(i.name) + ' ';
    EXPECT_EQ(got, c.selected) << "mode " << c.mode;
  }
}

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

TEST(Net, IfconfigFindsLoopback) {
  std::list<INet4::Addr> addresses(1);
  const int n = Net::ifconfig(addresses, 0);
  ASSERT_GE(n, 1);
  EXPECT_EQ(addresses.size(), size_t(n) + 1);
  EXPECT_EQ(addresses.front().GetString(), "0.0.0.0:0");
  EXPECT_TRUE(std::any_of(addresses.begin(), addresses.end(),
                          [](const INet4::Addr& a) { return a.GetString() == "127.0.0.1:0"; }));

  std::list<std::string> names;
  EXPECT_GE(Net::ifconfig(names, 0, IFF_UP | IFF_LOOPBACK), 1);
  EXPECT_NE(std::find(names.begin(), names.end(), "lo"), names.end());
  names.clear();
  EXPECT_EQ(Net::ifconfig(names, 1, IFF_LOOPBACK), 0);
}

TEST(Net, Hostname) {
  char expected[512] = {};
  ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(Net::hostname(), expected);
}

}  // namespace
