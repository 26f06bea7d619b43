#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>

#include "base/inet4_addr.h"

namespace {

TEST(INet4Addr, Assign) {
  struct Case {
    std::string text;
    bool ok;
    int out;             // the out-value
    const char* result;  // GetString afterwards, from an address that held 127.0.0.9:1234
  } cases[] = {
      {"127.0.0.3:20001", true, 20001, "127.0.0.3:20001"},
      {"127.0.0.3", true, -1, "127.0.0.3:1234"},
      {"127.0.0.3:70000", true, 70000, "127.0.0.3:4464"},
      {"127.0.0.3:-1", true, -1, "127.0.0.3:65535"},
      {"127.0.0.3:99999999999999999999", true, 2147483647, "127.0.0.3:65535"},
      {"127.0.0.3:5:6", true, 5, "127.0.0.3:5"},
      {"gateway:5000", false, 5000, "127.0.0.9:5000"},
      {"127.0.0.256:7", false, 7, "127.0.0.9:7"},
      {std::string(4096, '1') + ":7", false, 7, "127.0.0.9:7"},
      {std::string("127.0.0.3\0:7", 12), true, 7, "127.0.0.3:7"},
  };
  for (const Case& c : cases) {
    INet4::Addr a;
    ASSERT_TRUE(a.Assign("127.0.0.9:1234"));
    int out = 42;
    EXPECT_EQ(a.Assign(c.text, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.out) << c.text;
    EXPECT_EQ(a.GetString(), c.result) << c.text;
    EXPECT_EQ(a.in().sin_family, AF_INET);
    INet4::Addr b;
    ASSERT_TRUE(b.Assign("127.0.0.9:1234"));
    EXPECT_EQ(b.Assign(c.text.c_str(), nullptr), c.ok) << c.text;
    if (c.text.find('\0') == std::string::npos) {
      EXPECT_TRUE(a.IsEqual(b)) << c.text;
    }
  }
}

// The bounds of the blocks that stand for no single host.
TEST(INet4Addr, NamesOneHost) {
  const struct {
    const char* text;
    bool host;
  } rows[] = {
      {"0.0.0.0", false},         {"0.0.0.1", false},         {"0.255.255.255", false},
      {"1.0.0.0", true},          {"127.0.0.5", true},        {"223.255.255.255", true},
      {"224.0.0.0", false},       {"224.0.0.1", false},       {"239.255.255.255", false},
      {"240.0.0.1", false},       {"255.255.255.255", false},
      // The loopback network's broadcast: no packet comes from it (the kernel sends one bound
      // to it from 127.0.0.1). Its network address is a host like the rest of 127.0.0.0/8.
      {"127.255.255.255", false}, {"127.255.255.254", true},  {"127.0.0.0", true},
  };
  for (const auto& row : rows) {
    in_addr_t a;
    ASSERT_TRUE(INet4::parse_dotted(row.text, a)) << row.text;
    EXPECT_EQ(INet4::names_one_host(a), row.host) << row.text;
  }
}

}  // namespace
