// The monitoring service in orvexd on the simulated board: the power signal, the board status
// files, the framer LEDs, the SNMP set files and an SNMP agent link, seen only from outside.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "asn1/coder_env.h"
#include "asn1/modules/mon.h"
#include "tests/support/lgcp_test.h"
#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/temp_root.h"
#include "tests/support/transport_test.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr int wait_ms = OrvexdProcess::wait_ms;

// Waits until the file holds `text`; what it holds at the end.
std::string wait_content(const std::string& path, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  std::string now = read_file(path);
  while (now != text && std::chrono::steady_clock::now() < deadline) {
    usleep(20000);
    now = read_file(path);
  }
  return now;
}

TEST(Monitoring, BoardStatusReachesFilesLedsAndTheController) {
  BoardSim board;
  ASSERT_TRUE(board.ok());
  board.command("hal power 1");
  board.command("hal dip 9");
  const unsigned short port = free_port();
  OrvexdProcess daemon;
  ASSERT_TRUE(daemon.start({"--port", std::to_string(port)}));
  const std::string mon = board.root() + "/var/monitoring/";
  EXPECT_EQ(wait_content(mon + "dip", "9"), "9");
  EXPECT_EQ(wait_content(mon + "powerstatus", "1"), "1");

  Ctl::Controller ctl;
  ASSERT_TRUE(ctl.connect("127.0.0.1", port, wait_ms)) << ctl.error();
  Ctl::Received r;
  ASSERT_TRUE(ctl.wait_for("power", r, wait_ms)) << ctl.error();
  EXPECT_EQ(Ctl::to_hex(r.bytes), wire("{ pdu signal : power : standby }"));

  ASSERT_TRUE(ctl.command("{ seq 1, pdu command : display : framer : { e1 0, info line : TRUE } }",
                          r, wait_ms));
  EXPECT_EQ(Ctl::to_hex(r.bytes), wire("{ seq 1, pdu response : success : NULL }"));
  EXPECT_EQ(board.command("hal leds"), std::vector<std::string>{"0x03"});

  ASSERT_TRUE(
      ctl.command("{ seq 2, pdu command : display : snmp-set : { commands { { uniq 1, id name : "
                  "{ section \"S\", name \"N\", index 2 }, value \"V\" } } } }",
                  r, wait_ms));
  EXPECT_EQ(read_file(mon + "S/2/N"), "V");

  // A name that is another plus ".tmp" is a file of its own; a section that is a file of the
  // store gets no folder and leaves that file as it was.
  const char* const sets[] = {
      "{ uniq 2, id name : { section \"S\", name \"v.tmp\", index 0 }, value \"T\" }",
      "{ uniq 3, id name : { section \"S\", name \"v\", index 0 }, value \"U\" }, "
      "{ uniq 4, id name : { section \"dip\", name \"x\", index 0 }, value \"D\" }",
  };
  int seq = 3;
  for (const char* set : sets) {
    const std::string number = std::to_string(seq++);
    const std::string display =
        "{ seq " + number + ", pdu command : display : snmp-set : { commands { " + set + " } } }";
    ASSERT_TRUE(ctl.command(display, r, wait_ms)) << set;
    EXPECT_EQ(Ctl::to_hex(r.bytes), wire("{ seq " + number + ", pdu response : success : NULL }"));
  }
  EXPECT_EQ(read_file(mon + "S/0/v.tmp"), "T");
  EXPECT_EQ(read_file(mon + "S/0/v"), "U");
  EXPECT_EQ(read_file(mon + "dip"), "9");
}

// `value` in aligned PER in one TPKT frame, as the agent link sends and takes MON messages.
std::string mon_frame(const std::string& value) {
  MON::Message m;
  m.setFromValueNotation(value);
  std::vector<char> bytes;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  EXPECT_TRUE(ASN1::encode(m, &env, std::back_inserter(bytes))) << value;
  return tpkt(std::string(bytes.begin(), bytes.end()));
}

// An agent that floods the daemon with frames it cannot decode adds a few lines to the log, which
// count the rest, and its link goes on working.
TEST(Monitoring, AnAgentFloodingUndecodableFramesGetsAFewLinesThatCountTheRest) {
  BoardSim board;
  ASSERT_TRUE(board.ok());
  LoopbackListener listener;
  std::ofstream(board.root() + "/usr/local/etc/server.conf")
      << "[snmpagent]\nhost = 127.0.0.1:" << listener.port() << "\nname = tavo\n";
  const unsigned short port = free_port();
  OrvexdProcess daemon;
  ASSERT_TRUE(daemon.start({"--port", std::to_string(port)}));
  TcpPeer agent;
  ASSERT_TRUE(wait_until([&] { return (agent = TcpPeer(listener.accept())).ok(); }, wait_ms));
  ASSERT_TRUE(daemon.wait_output(": connected.\n"));
  // Blocking, so that one send takes the whole flood.
  ASSERT_EQ(::fcntl(agent.fd().get(), F_SETFL, 0), 0);
  const size_t before = daemon.output().size();

  constexpr int kFrames = 10000;
  std::string flood;
  for (int i = 0; i < kFrames; ++i) flood += tpkt(std::string(1, '\xff'));
  agent.send(flood);
  agent.send(mon_frame("{ pdu response : ping : success : NULL }"));

  // The link still relays the controller's set commands.
  Ctl::Controller ctl;
  ASSERT_TRUE(ctl.connect("127.0.0.1", port, wait_ms)) << ctl.error();
  const std::string set =
      "{ uniq 7, id name : { section \"S\", name \"N\", index 2 }, value \"V\" }";
  Ctl::Received r;
  ASSERT_TRUE(ctl.command(
      "{ seq 1, pdu command : display : snmp-set : { commands { " + set + " } } }", r, wait_ms));
  const std::string relayed =
      mon_frame("{ pdu command : snmp-set : { commands { " + set + " } } }");
  std::string heard;
  EXPECT_TRUE(wait_until([&] { return (heard += agent.read()).find(relayed) != std::string::npos; },
                         wait_ms));

  // The agent goes: the count still owed is written.
  agent = TcpPeer();
  ASSERT_TRUE(daemon.wait_output(": connection lost, reset snmpagent instance\n"));
  const std::string log = daemon.output().substr(before);
  EXPECT_LT(log.size(), 2000u) << log;
  const std::regex line("receive : decode error!(?: \\((\\d+) similar lines left out\\))?\n");
  int lines = 0;
  int counted = 0;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) {
    ++lines;
    counted += 1 + ((*it)[1].matched ? std::stoi((*it)[1]) : 0);
  }
  EXPECT_GE(lines, 2) << log;
  EXPECT_LE(lines, 12) << log;
  EXPECT_EQ(counted, kFrames) << log;
}

// orvexd on a simulated board with one agent link of type tavo to a listener of the test, and
// the agent's end of the link once the daemon has connected.
struct DaemonWithAgent {
  void start() {
    ASSERT_TRUE(board.ok());
    std::ofstream(board.root() + "/usr/local/etc/server.conf")
        << "[snmpagent]\nhost = 127.0.0.1:" << listener.port() << "\nname = tavo\n";
    port = free_port();
    ASSERT_TRUE(daemon.start({"--port", std::to_string(port)}));
    ASSERT_TRUE(wait_until([&] { return (agent = TcpPeer(listener.accept())).ok(); }, wait_ms));
    ASSERT_TRUE(daemon.wait_output(": connected.\n"));
    ASSERT_TRUE(ctl.connect("127.0.0.1", port, wait_ms)) << ctl.error();
  }
  // Sends the display `params` and gives its answer, in hex.
  std::string display(int seq, const std::string& params) {
    Ctl::Received r;
    if (!ctl.command("{ seq " + std::to_string(seq) + ", pdu command : display : " + params + " }",
                     r, wait_ms))
      return ctl.error();
    return Ctl::to_hex(r.bytes);
  }
  // Whether the agent receives the MON message `value` within the wait, after what it heard.
  bool hears(const std::string& value) {
    const std::string frame = mon_frame(value);
    return wait_until([&] { return (heard += agent.read()).find(frame) != std::string::npos; },
                      wait_ms);
  }

  BoardSim board;
  LoopbackListener listener;
  unsigned short port = 0;
  OrvexdProcess daemon;
  TcpPeer agent;
  Ctl::Controller ctl;
  std::string heard;
};

std::string answered(int seq, const char* result) {
  return wire("{ seq " + std::to_string(seq) + ", pdu response : " + result + " }");
}

// An empty trap-receiver list reaches the agent, which then has no receivers; a list whose
// message would not fit a frame is refused, and the agent keeps the list it had.
TEST(Monitoring, TrapReceiverListsThatReachTheAgent) {
  DaemonWithAgent d;
  d.start();
  const std::string sink = "{ pdu command : snmp-trapsink-set : { trapsinks { ";
  EXPECT_EQ(d.display(1, "snmpTrapReceivers : { \"127.0.0.5\" }"), answered(1, "success : NULL"));
  EXPECT_TRUE(d.hears(sink + "{ host \"127.0.0.5\" } } } }"));
  EXPECT_EQ(d.display(2, "snmpTrapReceivers : { }"), answered(2, "success : NULL"));
  EXPECT_TRUE(d.hears(sink + "} } }"));

  // Each host costs the agent's message a byte more than the display: the display fits a frame
  // (128 hosts, the most a list may hold, of 511 bytes), the agent's message (512 bytes each)
  // does not.
  const std::string host = "\"" + std::string(509, 'h') + "\"";
  std::string hosts = host;
  for (int i = 1; i < 128; ++i) hosts += ", " + host;
  EXPECT_EQ(d.display(3, "snmpTrapReceivers : { " + hosts + " }").substr(0, 100),
            answered(3, "error : invalidParams"));
  EXPECT_EQ(d.display(4, "snmpTrapReceivers : { \"127.0.0.6\" }"), answered(4, "success : NULL"));
  d.heard.clear();
  EXPECT_TRUE(d.hears(sink + "{ host \"127.0.0.6\" } } } }"));
  EXPECT_EQ(d.heard.find("hhh"), std::string::npos);
}

// An agent that connects and never reads costs no time: 200 displays of about 58 KB each, each
// relayed to it, are each answered within 500 ms (the link used to wait up to a second on each
// frame the agent did not take); what its socket does not take waits up to a bound and the rest
// is dropped and counted in a few log lines, and the link stays connected.
TEST(Monitoring, AnAgentThatNeverReadsDelaysNoCommand) {
  DaemonWithAgent d;
  d.start();
  std::string commands;
  for (int i = 0; i < 9; ++i)
    commands += std::string(i ? ", " : "") + "{ uniq " + std::to_string(i) +
                ", id name : { section \"S\", name \"N\", index " + std::to_string(i) +
                " }, value \"" + std::string(6400, 'v') + "\" }";
  const size_t before = d.daemon.output().size();
  long slowest = 0;
  for (int seq = 1; seq <= 200; ++seq) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(d.display(seq, "snmp-set : { commands { " + commands + " } }"),
              answered(seq, "success : NULL"));
    slowest = std::max<long>(slowest, long(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - start)
                                               .count()));
  }
  EXPECT_LT(slowest, 500);
  const std::string log = d.daemon.output().substr(before);
  EXPECT_NE(log.find("agent does not read"), std::string::npos) << log.substr(0, 2000);
  EXPECT_EQ(log.find("connection lost"), std::string::npos) << log.substr(0, 2000);
  EXPECT_LT(log.size(), 4000u) << log.substr(0, 4000);
}

}  // namespace
