// The TPKT framing checked by an independent reader: tshark's TPKT dissector decodes the bytes
// that the stream and TPKT layers write, put in a capture as TCP segments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/mux_clock.h"
#include "proto/strm_protocol.h"
#include "proto/tpkt.h"
#include "tests/proto/proto_testlib.h"
#include "tests/support/command_output.h"

namespace {

TEST(TpktTshark, DissectorReadsTheFramesWeWrite) {
  if (output_of("command -v tshark text2pcap").empty()) GTEST_SKIP() << "tshark is missing";
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends), 0);
  TcpPeer ours{Fd(ends[0])}, theirs{Fd(ends[1])};
  Mux::TestClock::set(1'000'000'000ull);
  RecordingFamily stack;
  stack.add_protocol_tail(new StrmProtocol(ours.fd()));
  stack.add_protocol_tail(new Tpkt_protocol);
  stack.activate();
  for (size_t n : {3u, 0u, 300u, unsigned(Tpkt_protocol::max_payload), 1u}) {
    Packet p;
    stack.prepare_head(p);
    if (n) std::memset(p.put(static_cast<unsigned>(n)), 0x5A, n);
    stack.message(p);
  }
  Mux::TestClock::release();
  EXPECT_TRUE(stack.reports.empty());

  const std::string wire = theirs.read();
  std::vector<std::string> segments;
  for (size_t at = 0; at < wire.size(); at += 1400) segments.push_back(hex(wire.substr(at, 1400)));
  EXPECT_EQ(tshark_of(segments, "-T 40000,40001",
                      "-d tcp.port==40001,tpkt -Y tpkt -T fields -e tpkt.version"
                      " -e tpkt.reserved -e tpkt.length"),
            "3,3,3\t0,0,0\t7,4,304\n3,3\t0,0\t65535,5\n");
}

}  // namespace
