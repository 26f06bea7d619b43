// The monitoring service in orvexd on the simulated board: the power signal, the board status
// files, the framer LEDs, the SNMP set files and an SNMP agent link, seen only from outside.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
