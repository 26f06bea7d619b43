// RTP slots on the simulated board: a controller (orvex-ctl's library) on loopback TCP drives the
// control server with the slot registry and the RTP and trunk factories; the simulator's RTP
// engine shows the sessions, its request logs show what the slot asked of the engine and the DSP
// receivers, and a UDP socket on loopback receives the RTCP packets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "base/mux_clock.h"
#include "proto/acceptor_check.h"
#include "server/ctrl/ctrl_server.h"
#include "server/slot/slots.h"
#include "slots/media/rtp_factory.h"
#include "slots/media/rtp_setup.h"
#include "slots/media/rtp_slot.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/orvex-ctl/lib/hex.h"
#include "tools/simctl/board_sim.h"

namespace {

BoardSim& board() {
  static BoardSim sim;
  return sim;
}

// A UDP socket on 127.0.0.1; port 0 takes a free one.
Fd udp_socket(unsigned short port, bool reuse = false) {
  Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int one = 1;
  if (reuse) ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
  return fd;
}

unsigned short port_of(const Fd& fd) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &n);
  return ntohs(a.sin_port);
}

// A UDP port free right now.
unsigned short free_udp_port() { return port_of(udp_socket(0)); }

// One datagram within a second, in hex, with the port it came from; "" when none came.
std::string receive(const Fd& fd, unsigned short* from = nullptr) {
  pollfd p{fd.get(), POLLIN, 0};
  if (::poll(&p, 1, 1000) != 1) return "";
  std::vector<char> buf(2048);
  sockaddr_in a{};
  socklen_t n = sizeof a;
  const ssize_t got =
      ::recvfrom(fd.get(), buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&a), &n);
  if (from) *from = ntohs(a.sin_port);
  buf.resize(got > 0 ? size_t(got) : 0);
  return Ctl::to_hex(buf);
}

std::string hex(const std::string& text) {
  return Ctl::to_hex(std::vector<char>(text.begin(), text.end()));
}

// Replaces every `from` in `text` by `to`.
std::string replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Value notation on one line: every run of blanks with a line break becomes one blank.
std::string flat(const std::string& text) {
  return std::regex_replace(text, std::regex("\\s*\\n\\s*"), " ");
}

class RtpSlots : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(board().ok());
    static bool bound = false;
    if (!bound) {
      LinkTrunkFactories();
      RtpFactory::instance();
      ctrlServer.Bind(&Slots::instance());
    }
    bound = true;
  }
  void SetUp() override {
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    Slots::instance().SetDisconnectWait([] {});
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, true);
    ASSERT_TRUE(ctrlServer.Activate(acceptor));
    ASSERT_TRUE(ctl_.connect("127.0.0.1", acceptor->local_port(), 1000)) << ctl_.error();
    turns(3);
    // The controller listens for RTCP on peer_port + 1; the slot sends from local_port + 1.
    // Shared with the slot's own RTCP socket when the create gives no shost.
    rtcp_peer_ = udp_socket(0, true);
    peer_port_ = static_cast<unsigned short>(port_of(rtcp_peer_) - 1);
    local_port_ = static_cast<unsigned short>(free_udp_port() - 1);
  }
  void TearDown() override {
    ctl_.close();
    ctrlServer.Deactivate();
    EXPECT_TRUE(Slots::instance().GetLive().empty());
    EXPECT_EQ(board().command("sessions rtp"), Lines{"0"});
    Mux::TestClock::release();
  }

  // Sends each command; every message that came back, in value notation.
  Lines run(const std::vector<std::string>& commands) {
    Lines got;
    for (const auto& c : commands) {
      EXPECT_TRUE(ctl_.send(c)) << c << ": " << ctl_.error();
      for (int i = 0; i < 3; ++i) run_loop_turn();
      Ctl::Received r;
      while (ctl_.receive(r, 0)) got.push_back(flat(r.text()));
    }
    return got;
  }
  // Turns the loop until the controller has something, briefly.
  Lines pending() {
    Lines got;
    for (int i = 0; i < 5; ++i) run_loop_turn();
    Ctl::Received r;
    while (ctl_.receive(r, 0)) got.push_back(flat(r.text()));
    return got;
  }
  // The create of RTP slot `slot` with `codec` in codecRTP after payload and dhost, where
  // {P} and {L} stand for the peer's and the local RTP port.
  std::string create(int slot, const std::string& payload, const std::string& more = "",
                     const std::string& tx = "", const std::string& rx = "") {
    return ports("{ seq 1, slot " + std::to_string(slot) +
                 ", pdu command : create : rtp : { codecRTP { payload " + payload +
                 ", dhost { iaddr \"127.0.0.1\", port {P} }" + more + " }, txPayload " +
                 (tx.empty() ? payload : tx) + ", rxPayload " + (rx.empty() ? payload : rx) +
                 " } }");
  }
  std::string ports(const std::string& text) const {
    return replace(replace(text, "{P}", std::to_string(peer_port_)), "{L}",
                   std::to_string(local_port_));
  }
  // Creates RTP slot 1 with shost; its channel.
  int create_slot(const std::string& payload = "ptG711-Alaw", const std::string& more = "") {
    Lines got = run({create(1, payload, ", shost { iaddr \"127.0.0.1\", port {L} }" + more)});
    std::smatch m;
    if (got.size() != 3 || !std::regex_search(got[1], m, std::regex("active : ([0-9]+)"))) {
      ADD_FAILURE() << "create: " << testing::PrintToString(got);
      return -1;
    }
    return std::stoi(m[1]);
  }
  static Lines log_tail(const std::string& device, size_t n) {
    Lines all = board().command("log " + device);
    return Lines(all.end() - std::min(n, all.size()), all.end());
  }

  Ctl::Controller ctl_;
  Fd rtcp_peer_;
  unsigned short peer_port_ = 0;
  unsigned short local_port_ = 0;
};

std::string response(int slot, const std::string& answer) {
  return "{ seq 1, slot " + std::to_string(slot) + ", pdu response : " + answer + " }";
}

// The session record that a create makes, read back from the engine.
struct Mapping {
  const char* name;
  const char* payload;
  const char* more;  // codecRTP after dhost
  const char* tx;
  const char* rx;
  const char* session;  // the engine's line after the channel, {P} and {L} the ports
};

class RtpRecords : public RtpSlots, public testing::WithParamInterface<Mapping> {};

TEST_P(RtpRecords, ReadBackFromTheEngine) {
  const Mapping& m = GetParam();
  const Lines got = run({create(1, m.payload, m.more, m.tx, m.rx)});
  ASSERT_EQ(got.size(), 3u) << testing::PrintToString(got);
  EXPECT_EQ(got[0], response(1, "success : NULL"));
  const Lines sessions = board().command("rtp sessions");
  ASSERT_EQ(sessions.size(), 1u);
  const std::string channel = sessions[0].substr(0, sessions[0].find(' '));
  EXPECT_EQ(got[1], "{ slot 1, pdu signal : transmitter : active : " + channel + " }");
  EXPECT_EQ(got[2], "{ slot 1, pdu signal : receiver : active : " + channel + " }");
  EXPECT_EQ(sessions[0].substr(channel.size() + 1), ports(m.session));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtpRecords,
    testing::Values(
        Mapping{"G729ReceivingUlaw", "ptG729",
                ", shost { iaddr \"127.0.0.1\", port {L} }, ssrc 305419896", "ptG729",
                "ptG711-Ulaw",
                "remote=127.0.0.1:{P} local=127.0.0.1:{L} rx_pt=0 tx_pt=18 pfactor=0 vad=0 "
                "rate=0 ssrc=0x12345678 ttl=0 tos=0xffffffff input=off pd=off"},
        Mapping{"EveryOptionGiven", "ptG711-Ulaw",
                ", pfactor 65539, crate 1, vad TRUE, ssrc 7, ttl 64, qos-dscp ef", "", "",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=0 tx_pt=0 pfactor=3 vad=1 rate=1 "
                "ssrc=0x07 ttl=64 tos=0xb8 input=off pd=off"},
        Mapping{"FalseFlagsAndCs7", "ptG723", ", crate 0, vad FALSE, ssrc 1, qos-dscp cs7", "", "",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=4 tx_pt=4 pfactor=0 vad=0 rate=0 "
                "ssrc=0x01 ttl=0 tos=0xe0 input=off pd=off"},
        Mapping{"G711OverridesOnlyG711", "ptG711mcc-Alaw", ", ssrc 2", "ptG711-Alaw",
                "ptG729",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=136 tx_pt=8 pfactor=0 vad=0 "
                "rate=0 ssrc=0x02 ttl=0 tos=0xffffffff input=off pd=off"},
        Mapping{"G728", "ptG728", ", ssrc 3", "ptG711-Ulaw", "ptG728",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=15 tx_pt=0 pfactor=0 vad=0 "
                "rate=0 ssrc=0x03 ttl=0 tos=0xffffffff input=off pd=off"}),
    [](const testing::TestParamInfo<Mapping>& i) { return std::string(i.param.name); });

// The SDES at the start and the BYE at the end go from local port + 1 to the peer's port + 1;
// both carry the SSRC of the session, a pseudo-random one here.
TEST_F(RtpSlots, RtcpGoesOutAtCreateAndDestroy) {
  const int channel = create_slot("ptG711-Alaw");
  const Lines sessions = board().command("rtp sessions");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(sessions.at(0), m, std::regex("ssrc=0x([0-9a-f]+)")));
  char ssrc[9];
  std::snprintf(ssrc, sizeof ssrc, "%08lX", std::stoul(m[1], nullptr, 16));
  unsigned short from = 0;
  const std::string sdes = receive(rtcp_peer_, &from);
  EXPECT_EQ(from, local_port_ + 1);
  const std::string items = "0111" + hex(RtpSlot::kCname) + "0316" + hex(RtpSlot::kEmail) +
                            "040E" + hex(RtpSlot::kPhone) + "00";
  EXPECT_EQ(sdes, "81CA0010" + std::string(ssrc) + items);

  StreamCapture log(std::clog);
  EXPECT_EQ(run({"{ seq 1, slot 1, pdu command : destroy : NULL }"}),
            Lines{response(1, "success : NULL")});
  const std::string bye = receive(rtcp_peer_);
  EXPECT_EQ(bye, "81CB0004" + std::string(ssrc) + "0B" + hex("session end"));
  EXPECT_EQ(log_tail("rtp", 4),
            (Lines{"0x2000520a STOP_10", "0x20005203 STOP_3", "0x2000520b STOP_11",
                   "0x8004520d EVENT_OFF type=1"}));
  const Lines hal = board().command("log hal");
  EXPECT_NE(std::find(hal.begin(), hal.end(), "0x80044d03 disable output=" + std::to_string(channel)),
            hal.end());

  // tshark's RTCP dissector reads both packets as sent.
  TempRoot dir;
  const std::string pcap = dir.path() + "/rtcp.pcap";
  {
    std::ofstream out(pcap, std::ios::binary);
    const char header[] = "\xd4\xc3\xb2\xa1\x02\x00\x04\x00\0\0\0\0\0\0\0\0\xff\xff\0\0\x65\0\0";
    out.write(header, 24);
    for (const std::string& packet : {sdes, bye}) {
      std::vector<char> payload;
      ASSERT_TRUE(Ctl::from_hex(packet, payload));
      const uint16_t total = static_cast<uint16_t>(28 + payload.size());
      const uint16_t udp = static_cast<uint16_t>(8 + payload.size());
      const unsigned short dport = static_cast<unsigned short>(peer_port_ + 1);
      unsigned char ip[28] = {0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 0, 0x40, 0, 64, 17,
                              0, 0, 127, 0, 0, 1, 127, 0, 0, 1,
                              uint8_t(from >> 8), uint8_t(from), uint8_t(dport >> 8),
                              uint8_t(dport), uint8_t(udp >> 8), uint8_t(udp), 0, 0};
      uint32_t sum = 0;
      for (int i = 0; i < 20; i += 2) sum += (ip[i] << 8) | ip[i + 1];
      while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
      ip[10] = uint8_t(~sum >> 8);
      ip[11] = uint8_t(~sum);
      const uint32_t record[4] = {1, 0, total, total};
      out.write(reinterpret_cast<const char*>(record), sizeof record);
      out.write(reinterpret_cast<const char*>(ip), sizeof ip);
      out.write(payload.data(), static_cast<std::streamsize>(payload.size()));
    }
  }
  const std::string cmd = "tshark -r " + pcap + " -d udp.port==" + std::to_string(peer_port_ + 1) +
                          ",rtcp -T fields -e rtcp.pt -e rtcp.ssrc.identifier -e rtcp.sdes.text "
                          "-e rtcp.length_check -e _ws.expert.message -e _ws.malformed 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  ::pclose(p);
  std::string id = "0x" + std::string(ssrc);
  std::transform(id.begin(), id.end(), id.begin(), ::tolower);
  EXPECT_EQ(text, "202\t" + id + "\t" + RtpSlot::kCname + "," + RtpSlot::kEmail + "," +
                      RtpSlot::kPhone + "\t1\t\t\n203\t" + id + "\tsession end\t1\t\t\n");
}

}  // namespace
