#include "proto/call_record_sender.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "base/fd.h"
#include "tests/support/transport_test.h"

namespace {

// A UDP socket on 127.0.0.1 with a port of the kernel's choice.
struct UdpSink {
  Fd fd{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
  unsigned short port = 0;
  UdpSink() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin_port);
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }
  // Every datagram waiting, each as one string.
  std::vector<std::string> drain() const {
    std::vector<std::string> got;
    char buf[2048];
    for (ssize_t n; (n = ::recv(fd.get(), buf, sizeof buf, 0)) >= 0;) got.emplace_back(buf, n);
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
