#include "proto/call_record_sender.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/transport_test.h"

namespace {

// A UDP socket on 127.0.0.1 with a port of the kernel's choice.
struct UdpSink {
  Fd fd = udp_loopback(0);
  unsigned short port = local_port(fd);
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }
  // Every datagram waiting, each as one string.
  std::vector<std::string> drain() const {
    std::vector<std::string> got;
    for (std::string d; !(d = receive_datagram(fd, 0)).empty();) got.push_back(d);
    return got;
  }
};

}  // namespace

TEST(CallRecordSender, SendsOneDatagramPerAddressWord) {
  UdpSink a, b;
  ASSERT_TRUE(a.port && b.port);
  const std::string record("call 1 \0 end", 12);
  struct Case {
    std::string name, list;
    unsigned to_a, to_b;
  } cases[] = {
      {"two addresses", a.address() + " " + b.address(), 1, 1},
      {"empty list", "", 0, 0},
      {"blanks, tabs and line ends", "\t " + a.address() + "\n\n  " + b.address() + " \t\n", 1, 1},
      {"same address twice", a.address() + " " + a.address(), 2, 0},
      {"words that are no address with a port skipped",
       "gateway:" + std::to_string(a.port) + " 127.0.0.1 127.0.0.1: 127.0.0.1:0 " + b.address(),
       0, 1},
  };
  CDR_Sender::Sender sender;
  for (const Case& c : cases) {
    StreamCapture err(std::cerr);
    EXPECT_TRUE(sender.SendTo(record, c.list)) << c.name;
    auto got_a = a.drain(), got_b = b.drain();
    EXPECT_EQ(c.to_a, got_a.size()) << c.name;
    EXPECT_EQ(c.to_b, got_b.size()) << c.name;
    for (auto& d : got_a) EXPECT_EQ(record, d) << c.name;
    for (auto& d : got_b) EXPECT_EQ(record, d) << c.name;
    EXPECT_EQ("", err.take()) << c.name;
  }
}

TEST(CallRecordSender, WithoutSocketSendsNothing) {
  UdpSink a;
  std::unique_ptr<CDR_Sender::Sender> sender;
  {
    DescriptorExhaustion no_fds;
    sender.reset(new CDR_Sender::Sender);
  }
  EXPECT_FALSE(sender->SendTo("x", a.address()));
  EXPECT_TRUE(a.drain().empty());
}
